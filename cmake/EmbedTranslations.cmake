# Concatenates the translation files into one raw string literal; the parser skips '#' lines.
set(blob "")
foreach(f IN LISTS INPUTS)
  file(READ ${f} content)
  get_filename_component(name ${f} NAME)
  string(APPEND blob "# file ${name}\n${content}\n")
endforeach()
file(WRITE ${OUT}.tmp "// Generated from resources/i18n/*.tsv\nnamespace Translations {\nextern const char *const kRawTable;\nconst char *const kRawTable = R\"KTSV(${blob})KTSV\";\n}\n")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)

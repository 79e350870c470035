// A tool that renames by a path of its own, past the steps; its own methods named so are fine.
void Tool::rename() {
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) != 0) return;
}

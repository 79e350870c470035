# Debian packages the build, the tests and the tools need.
DEPS := g++ cmake ninja-build pkg-config qt6-base-dev qt6-svg-dev qt6-pdf-dev \
        libplist-dev libglib2.0-dev libglib2.0-bin libcanberra-dev libicu-dev libgtest-dev \
        libarchive-tools zip unzip bzip2 xz-utils xvfb xauth trash-cli fonts-tlwg-loma-ttf fonts-noto-core \
        clang libclang-rt-14-dev clang-format acl dbus at-spi2-core python3-gi gir1.2-atspi-2.0 rsync \
        qt6-translations-l10n desktop-file-utils \
        libexiv2-dev libmediainfo-dev libpoppler-qt6-dev liblcms2-dev libjpeg-dev qpdf libqpdf-dev libheif-dev \
        qt6-image-formats-plugins

BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
# Seconds each fuzz program runs; they all run at once.
FUZZ_SECONDS ?= 60
JOBS ?= $(shell nproc)
SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)

.PHONY: deps configure build run install test test-asan fuzz format-check format bench clean

deps:
	@missing=""; for p in $(DEPS); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends $$missing; \
	fi

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	@# New headers found by the source globs are only moc'ed when autogen runs again.
	@find $(BUILD) -path '*_autogen/timestamp' -delete

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/kestrin

# The programs stripped of their debugging data; PREFIX as `cmake --install --prefix` takes it.
install: build
	cmake --install $(BUILD) --strip $(if $(PREFIX),--prefix $(PREFIX))

test: format-check build test-asan fuzz
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --no-tests=error -j $(JOBS)

# The core and platform tests once more under AddressSanitizer and UBSan.
test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTRIN_CORE_ONLY=ON -DKESTRIN_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  QT_QPA_PLATFORM=offscreen ctest --output-on-failure --no-tests=error -j $(JOBS)

# Every program under fuzz/ for FUZZ_SECONDS, all in parallel, from its seed corpus (fuzz/corpus/<name>);
# any crash, leak, timeout or undefined behaviour fails. Inputs found go to $(FUZZ_BUILD)/runs/<name>, the
# failing input to $(FUZZ_BUILD)/findings.
fuzz: deps
	CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=None \
	  "-DCMAKE_CXX_FLAGS=-O1 -gline-tables-only" -DKESTRIN_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@rm -rf $(FUZZ_BUILD)/runs $(FUZZ_BUILD)/findings; mkdir -p $(FUZZ_BUILD)/runs $(FUZZ_BUILD)/findings; \
	pids=""; \
	for prog in $(FUZZ_BUILD)/fuzz/fuzz_*; do \
	  [ -f $$prog ] && [ -x $$prog ] || continue; \
	  name=$${prog##*/fuzz_}; mkdir -p $(FUZZ_BUILD)/runs/$$name; \
	  $$prog -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_BUILD)/findings/$$name- $(FUZZ_BUILD)/runs/$$name fuzz/corpus/$$name \
	    > $(FUZZ_BUILD)/runs/$$name.log 2>&1 & pids="$$pids $$!:$$name"; \
	done; \
	status=0; \
	for p in $$pids; do \
	  name=$${p#*:}; log=$(FUZZ_BUILD)/runs/$$name.log; \
	  if wait $${p%%:*}; then \
	    echo "fuzz $$name: clean, $$(sed -n 's/^stat::number_of_executed_units: *//p' $$log) runs"; \
	  else \
	    status=1; echo "fuzz $$name: FINDING (input in $(FUZZ_BUILD)/findings)"; tail -n 60 $$log; \
	  fi; \
	done; \
	exit $$status

# Every C++ file as .clang-format wants it; `make format` rewrites them so.
FORMATTED = git ls-files '*.cpp' '*.h'
format-check: deps
	@$(FORMATTED) | xargs clang-format --dry-run -Werror

format: deps
	@$(FORMATTED) | xargs clang-format -i

bench: build
	@echo "Benchmarks: ./$(BUILD)/kestrin-bench --help"

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)

# Debian packages the build, the tests and the tools need.
DEPS := g++ cmake ninja-build pkg-config qt6-base-dev qt6-svg-dev qt6-pdf-dev \
        libplist-dev libglib2.0-dev libglib2.0-bin libcanberra-dev libicu-dev libgtest-dev \
        libarchive-tools libarchive-dev liblzma-dev zip unzip bzip2 xz-utils xvfb xauth trash-cli fonts-tlwg-loma-ttf fonts-noto-core \
        clang libclang-rt-14-dev clang-format acl dbus at-spi2-core python3-gi gir1.2-atspi-2.0 rsync \
        qt6-translations-l10n desktop-file-utils libxkbcommon-dev \
        libexiv2-dev libmediainfo-dev libpoppler-qt6-dev liblcms2-dev libjpeg-dev qpdf libqpdf-dev libheif-dev zlib1g-dev ffmpeg \
        qt6-image-formats-plugins libjxl-tools libfuse3-dev fuse3 exfat-fuse exfatprogs e2fsprogs ntfs-3g btrfs-progs

BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
# Seconds each fuzz program runs; JOBS of them run at once.
FUZZ_SECONDS ?= 30
JOBS ?= $(shell nproc)
SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)

.PHONY: deps configure build app run install uninstall test suite suite-user test-asan fuzz format-check format bench clean

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

# The program, its helper and its icon alone, without the tests and benchmarks.
app: configure
	cmake --build $(BUILD) -j $(JOBS) --target kestrin kestrin-facts kestrin-unpack kestrin-icon48

run: app
	./$(BUILD)/kestrin

# Runs its command with sudo where the prefix (PREFIX, else the configured one) or the nearest folder
# above it that exists is not ours to write.
AS_NEEDED = at="$(or $(PREFIX),$$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' $(BUILD)/CMakeCache.txt))"; \
	while [ ! -e "$$at" ]; do at=$$(dirname "$$at"); done; \
	if [ -w "$$at" ]; then as=""; else as="$(SUDO)"; fi; $$as

# The programs stripped of their debugging data; PREFIX as `cmake --install --prefix` takes it.
install: app
	@$(AS_NEEDED) cmake --install $(BUILD) --strip $(if $(PREFIX),--prefix $(PREFIX))

# Takes away what `make install` put into PREFIX (its record is in $(BUILD)/installs) and brings the
# desktop's caches up to date.
uninstall:
	@$(AS_NEEDED) cmake -DBUILD=$(BUILD) $(if $(PREFIX),-DPREFIX=$(PREFIX)) -P cmake/Uninstall.cmake

# Each step in turn; the last line says that all passed, or which step failed.
test:
	@for step in format-check build test-asan fuzz suite suite-user; do \
	  $(MAKE) --no-print-directory $$step || { echo "make test: FAILED at '$$step'"; exit 1; }; \
	done; echo "make test: passed (format-check, build, test-asan, fuzz, suite, suite-user)"

# The test programs run their tests in an order drawn from TEST_SEED (1 to 99999, new each run), so that no
# test leans on what another left behind; the seed is printed, and TEST_SEED=<seed> repeats that order.
ifeq ($(origin TEST_SEED),undefined)
TEST_SEED := $(shell echo $$(( $$(od -An -N4 -tu4 /dev/urandom) % 99999 + 1 )))
endif

suite:
	@[ -f $(BUILD)/CTestTestfile.cmake ] || { echo "make suite: nothing is built in $(BUILD)/ yet; run make build first"; exit 1; }
	@echo "Test order: GTEST_SHUFFLE=1 GTEST_RANDOM_SEED=$(TEST_SEED) (repeat with make suite TEST_SEED=$(TEST_SEED))"
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen GTEST_SHUFFLE=1 GTEST_RANDOM_SEED=$(TEST_SEED) \
	  ctest --output-on-failure --no-tests=error -j $(JOBS)

# Root passes every permission check: the tests of the file steps, transfers, the Trash, undo and the settings
# once more as an ordinary account (USER_UID, nobody by default), in a scratch home, JOBS programs at a time;
# tests that need root skip and say why. Run as an ordinary user, `suite` already was this.
USER_UID ?= 65534
USER_TESTS ?= test_core_fileops test_core_undo test_core_commands test_core_app test_core_info
suite-user:
	@[ -f $(BUILD)/CTestTestfile.cmake ] || { echo "make suite-user: nothing is built in $(BUILD)/ yet; run make build first"; exit 1; }
	@echo "Test order: GTEST_SHUFFLE=1 GTEST_RANDOM_SEED=$(TEST_SEED) (repeat with make suite-user TEST_SEED=$(TEST_SEED))"
	@QT_QPA_PLATFORM=offscreen GTEST_SHUFFLE=1 GTEST_RANDOM_SEED=$(TEST_SEED) \
	  tools/suite-as-user.sh $(BUILD)/tests $(USER_UID) $(JOBS) $(USER_TESTS)

# The core and platform tests once more under AddressSanitizer and UBSan.
test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTRIN_CORE_ONLY=ON -DKESTRIN_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  QT_QPA_PLATFORM=offscreen ctest --output-on-failure --no-tests=error -j $(JOBS)

# Every program under fuzz/ for FUZZ_SECONDS, JOBS at a time, from its seed corpus (fuzz/corpus/<name>);
# any crash, leak, timeout or undefined behaviour fails. Inputs found go to $(FUZZ_BUILD)/runs/<name>, the
# failing input to $(FUZZ_BUILD)/findings.
fuzz: deps
	CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=None \
	  "-DCMAKE_CXX_FLAGS=-O1 -gline-tables-only" -DKESTRIN_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@rm -rf $(FUZZ_BUILD)/runs $(FUZZ_BUILD)/findings; mkdir -p $(FUZZ_BUILD)/runs $(FUZZ_BUILD)/findings; \
	for prog in $(FUZZ_BUILD)/fuzz/fuzz_*; do [ -f $$prog ] && [ -x $$prog ] && echo $$prog; done | \
	xargs -r -n 1 -P $(JOBS) sh -c 'prog=$$1; name=$${prog##*/fuzz_}; mkdir -p $(FUZZ_BUILD)/runs/$$name; \
	  $$prog -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_BUILD)/findings/$$name- $(FUZZ_BUILD)/runs/$$name fuzz/corpus/$$name \
	    > $(FUZZ_BUILD)/runs/$$name.log 2>&1; echo $$? > $(FUZZ_BUILD)/runs/$$name.rc' sh; \
	status=0; \
	for rc in $(FUZZ_BUILD)/runs/*.rc; do \
	  [ -f $$rc ] || continue; name=$${rc##*/}; name=$${name%.rc}; log=$(FUZZ_BUILD)/runs/$$name.log; \
	  if [ "$$(cat $$rc)" = 0 ]; then \
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

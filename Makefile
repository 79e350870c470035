# Debian packages the build, the tests and the tools need.
DEPS := g++ cmake ninja-build pkg-config qt6-base-dev qt6-svg-dev qt6-pdf-dev \
        libplist-dev libglib2.0-dev libglib2.0-bin libcanberra-dev libgtest-dev \
        libarchive-tools zip unzip bzip2 xz-utils xvfb xauth trash-cli fonts-tlwg-loma-ttf acl

BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)
SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)

.PHONY: deps configure build run test test-asan bench clean

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

test: build test-asan
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --no-tests=error -j $(JOBS)

# The core and platform tests once more under AddressSanitizer and UBSan.
test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTRIN_CORE_ONLY=ON -DKESTRIN_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  QT_QPA_PLATFORM=offscreen ctest --output-on-failure --no-tests=error -j $(JOBS)

bench: build
	@echo "Benchmarks: ./$(BUILD)/kestrin-bench --help"

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)

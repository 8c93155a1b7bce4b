# Set-up, build and test on Debian 12. Every target installs the Debian packages it needs first.

BUILD    ?= build
JOBS     ?= $(shell nproc)
SUDO     := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

BUILD_PACKAGES := cmake make g++ libgtest-dev libbenchmark-dev libcli11-dev libreadstat-dev
WINDOW_PACKAGES := qt6-base-dev libgl-dev qt6-qpa-plugins fonts-liberation2 desktop-file-utils \
                   appstream xvfb xauth dpkg-dev file openbox x11-utils help2man lintian
BENCH_PACKAGES := time
# Readers that check the sav, dta and tsv output; pandas runs on Debian's /usr/bin/python3.
READER_PACKAGES := pspp python3-pandas
FUZZ_PACKAGES  := clang-14 libclang-rt-14-dev llvm-14
LINT_PACKAGES  := clang-tidy-14 clang-format-14 cppcheck

ASAN_BUILD   ?= build-asan
FUZZ_BUILD   ?= fuzz-build
FUZZ_SECONDS ?= 180
# Rounds of interleaved runs for every study of `make bench` (its own choice when empty).
BENCH_ROUNDS ?=

define install
	@missing=$$(for p in $(1); do \
		dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; \
	done); \
	if [ -n "$$missing" ]; then \
		echo "Installing Debian packages:" $$missing; \
		$(SUDO) apt-get update -qq && \
		DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi
endef

.PHONY: all deps build run test bench package clean

all: build

deps:
	$(call install,$(BUILD_PACKAGES) $(WINDOW_PACKAGES))

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j$(JOBS)

run: build
	$(BUILD)/bin/dozorira

test: build
	$(call install,$(READER_PACKAGES))
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS)
	$(MAKE) sanitize-test
	$(MAKE) fuzz FUZZ_SECONDS=5

bench: build
	$(call install,$(BENCH_PACKAGES))
	$(BUILD)/bin/dozorira_bench
	$(BUILD)/bin/dozorira_ratios $(BUILD)/bin $(BENCH_ROUNDS)
	bench/end_to_end.sh $(BUILD)/bin

package: build
	cd $(BUILD) && cpack -G DEB

.PHONY: sanitize-test fuzz-targets fuzz lint

# The engine and command-line tests again, stopping at the first sanitizer finding.
sanitize-test: deps
	$(call install,$(READER_PACKAGES))
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDOZORIRA_SANITIZE=ON \
		-DDOZORIRA_WINDOW=OFF -DDOZORIRA_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	cd $(ASAN_BUILD) && UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j$(JOBS)

fuzz-targets: deps
	$(call install,$(FUZZ_PACKAGES))
	CC=clang-14 CXX=clang++-14 cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DDOZORIRA_FUZZ=ON -DDOZORIRA_WINDOW=OFF -DDOZORIRA_TESTS=OFF -DDOZORIRA_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j$(JOBS)

# Runs each fuzz target for FUZZ_SECONDS (make fuzz FUZZ_SECONDS=600).
fuzz: fuzz-targets
	fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

lint: deps
	$(call install,$(LINT_PACKAGES))
	tools/lint.sh build-lint

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) build-lint

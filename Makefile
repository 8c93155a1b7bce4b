# Set-up, build and test on Debian 12. Every target installs the Debian packages it needs first.

BUILD    ?= build
JOBS     ?= $(shell nproc)
SUDO     := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

BUILD_PACKAGES := cmake make g++ libgtest-dev libbenchmark-dev libcli11-dev libreadstat-dev \
                  libxlsxwriter-dev libminizip-dev zlib1g-dev libacl1-dev libcairo2-dev \
                  libpango1.0-dev fonts-dejavu-core libboost-dev libssl-dev nlohmann-json3-dev
WINDOW_PACKAGES := qt6-base-dev libgl-dev qt6-qpa-plugins fonts-liberation2 desktop-file-utils \
                   appstream xvfb xauth dpkg-dev file openbox x11-utils help2man lintian
BENCH_PACKAGES := time valgrind
# Readers that check the sav, dta, tsv, csv and xlsx output (PSPP, pandas, R with haven, openxlsx
# and readxl, LibreOffice, Gnumeric) and the report's PDF (poppler, qpdf); pandas runs on Debian's
# /usr/bin/python3.
READER_PACKAGES := pspp python3-pandas python3-openpyxl libreoffice-calc-nogui r-base-core gnumeric \
                   r-cran-haven r-cran-openxlsx r-cran-readxl poppler-utils qpdf
# The sanitized tests and the fuzz targets: clang, its sanitizer runtimes and llvm-symbolizer.
SANITIZE_PACKAGES := clang-14 libclang-rt-14-dev llvm-14
LINT_PACKAGES  := clang-tidy-14 clang-format-14 cppcheck
# The fault tests: a second user, ACLs, strace's fault injection, a FUSE file system, a loop-mounted
# ext2 image.
FAULT_PACKAGES := util-linux acl strace bindfs fuse3 e2fsprogs mount

SANITIZE_BUILD ?= build-sanitize
TSAN_BUILD   ?= build-tsan
SYMBOLIZER   := /usr/lib/llvm-14/bin/llvm-symbolizer
FUZZ_SECONDS ?= 180
# How the builds share the cores: -jN on their own, the calling make's job slots under `make test`.
BUILD_JOBS ?= -j$(JOBS)
# Tests at a time: many wait on the disk, on strace or on another program, so twice the cores.
TEST_JOBS ?= $(shell echo $$(( $(JOBS) * 2 )))
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

.PHONY: all deps build run test build-tests bench package clean

all: build

deps:
	$(call install,$(BUILD_PACKAGES) $(WINDOW_PACKAGES))

# Every tree compiles each library's sources in batches of a few files (CMake's unity build): most
# of what a file costs is parsing the headers it shares with its neighbours, and a batch parses them
# once. `make lint` analyses the sources one by one from a compile database of its own.
UNITY := -DCMAKE_UNITY_BUILD=ON

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(UNITY)
	+cmake --build $(BUILD) $(BUILD_JOBS)

run: build
	$(BUILD)/bin/dozorira

# The build and its tests go side by side with the sanitized tree's build and tests, so that
# neither leaves a core idle while it links, runs moc or waits for lintian; the output of each
# shows whole once it ends. The fuzz targets run once the sanitized tests pass, beside the
# build's tests, which spend much of their time waiting on the disk and on other programs.
test: deps
	$(call install,$(READER_PACKAGES) $(SANITIZE_PACKAGES) $(FAULT_PACKAGES))
	$(MAKE) -j$(JOBS) --output-sync=target build-tests sanitize-test-fuzz thread-test BUILD_JOBS=

# The sanitized tests, then five seconds of each fuzz target from the same tree, which built them.
sanitize-test-fuzz: sanitize-test
	fuzz/run.sh $(SANITIZE_BUILD) 5

build-tests: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(TEST_JOBS)

bench: build
	$(call install,$(BENCH_PACKAGES))
	+cmake --build $(BUILD) $(BUILD_JOBS) --target bench
	$(BUILD)/bin/dozorira_bench
	bench/instructions.sh $(BUILD)/bin
	$(BUILD)/bin/dozorira_ratios $(BUILD)/bin $(BENCH_ROUNDS)
	bench/end_to_end.sh $(BUILD)/bin

package: build
	cd $(BUILD) && cpack -G DEB

.PHONY: sanitize-tree sanitize-test sanitize-test-fuzz thread-test fuzz-targets fuzz lint

# One clang tree with AddressSanitizer and UndefinedBehaviorSanitizer holds both the engine and
# command-line tests and the fuzz targets, so that the engine is compiled once for both. The
# sanitizers find the same faults in unoptimised code, which compiles in a fraction of the time;
# only the engine, which the fuzz targets run thousands of times a second, is optimised (see
# fuzz/CMakeLists.txt). Line tables are all the sanitizers' stack traces need.
sanitize-tree: deps
	$(call install,$(SANITIZE_PACKAGES))
	CC=clang-14 CXX=clang++-14 cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O0 -gline-tables-only -DNDEBUG" \
		-DDOZORIRA_SANITIZE=ON -DDOZORIRA_FUZZ=ON -DDOZORIRA_WINDOW=OFF -DDOZORIRA_BENCH=OFF $(UNITY)

# The engine and command-line tests again, stopping at the first sanitizer finding.
sanitize-test: sanitize-tree
	$(call install,$(READER_PACKAGES))
	+cmake --build $(SANITIZE_BUILD) $(BUILD_JOBS)
	cd $(SANITIZE_BUILD) && ASAN_SYMBOLIZER_PATH=$(SYMBOLIZER) UBSAN_OPTIONS=print_stacktrace=1 \
		ctest --output-on-failure -j$(TEST_JOBS)

# The tests that read a study on several threads, under clang's ThreadSanitizer: a small tree
# that builds only the engine, the study library and their tests.
thread-test: deps
	$(call install,$(SANITIZE_PACKAGES))
	CC=clang-14 CXX=clang++-14 cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O0 -gline-tables-only -DNDEBUG" \
		-DDOZORIRA_THREAD_SANITIZE=ON -DDOZORIRA_WINDOW=OFF -DDOZORIRA_BENCH=OFF $(UNITY)
	+cmake --build $(TSAN_BUILD) $(BUILD_JOBS) --target study_tests
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" $(TSAN_BUILD)/bin/study_tests

fuzz-targets: sanitize-tree
	cmake --build $(SANITIZE_BUILD) -j$(JOBS) --target fuzzers

# Runs each fuzz target for FUZZ_SECONDS (make fuzz FUZZ_SECONDS=600).
fuzz: fuzz-targets
	fuzz/run.sh $(SANITIZE_BUILD) $(FUZZ_SECONDS)

lint: deps
	$(call install,$(LINT_PACKAGES))
	JOBS=$(JOBS) tools/lint.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(TSAN_BUILD)

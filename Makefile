# Set-up, build and test on Debian 12. Every target installs the Debian packages it needs first.

BUILD    ?= build
JOBS     ?= $(shell nproc)
SUDO     := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

BUILD_PACKAGES := cmake make g++ libgtest-dev libbenchmark-dev libcli11-dev
WINDOW_PACKAGES := qt6-base-dev libgl-dev qt6-qpa-plugins fonts-liberation2 desktop-file-utils \
                   appstream xvfb xauth dpkg-dev file
BENCH_PACKAGES := hyperfine time

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
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS)

bench: build
	$(call install,$(BENCH_PACKAGES))
	$(BUILD)/bin/dozorira_bench
	bench/end_to_end.sh $(BUILD)/bin

package: build
	cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD)

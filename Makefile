# Two entry points for a fresh Debian 12 machine: `make run` and `make test`.
# Both install what is missing (nothing is downloaded when everything is present), build in build/
# and then run.

BUILD_DIR ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
DEBIAN_PACKAGES := cmake g++ make pkg-config ccache qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libqt6svg6 libgl-dev libplist-dev \
	python3-icalendar python3-dateutil libical-dev xvfb xauth dbus at-spi2-core python3-pyatspi \
	radicale apache2-utils desktop-file-utils appstream shared-mime-info xdg-utils dpkg-dev file \
	qtkeychain-qt6-dev gnome-keyring libsecret-1-0 libglib2.0-bin zsh

.PHONY: all deps build run test clean fuzz bench package

all: build

deps:
	@scripts/install-deps.sh $(DEBIAN_PACKAGES)

$(BUILD_DIR)/CMakeCache.txt:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: deps $(BUILD_DIR)/CMakeCache.txt
	cmake --build $(BUILD_DIR) -j $(JOBS)

# The window on the example calendar; without a display, the command-line tool on it instead.
run: build
	@if [ -n "$$DISPLAY" ] || [ -n "$$WAYLAND_DISPLAY" ]; then \
		$(BUILD_DIR)/src/app/tidewell examples/sample.ics; \
	else \
		echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set), so here is the command-line tool converting examples/sample.ics to vCalendar:"; \
		$(BUILD_DIR)/src/cli/tidewell-cli convert examples/sample.ics --to vcal; \
	fi

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

bench: deps
	cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DTIDEWELL_TESTS=OFF
	cmake --build build-release -j $(JOBS) --target tidewell-bench
	build-release/bench/tidewell-bench

# The Debian package, tidewell_<version>_<arch>.deb in build-package/, from a Release build for /usr.
package: deps
	cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
		-DTIDEWELL_TESTS=OFF -DTIDEWELL_BENCH=OFF
	cmake --build build-package -j $(JOBS)
	cd build-package && cpack -G DEB
	@ls build-package/tidewell_*.deb

clean:
	rm -rf $(BUILD_DIR) build-asan build-release build-package

fuzz: deps
	@scripts/install-deps.sh clang libclang-rt-14-dev
	FUZZ_SECONDS=$${FUZZ_SECONDS:-60} fuzz/smoke.sh

# Two commands: `make run` and `make test`. Everything else is set up by them. `make install`
# (PREFIX, DESTDIR honoured) and `make package` (a Debian package) for putting it on a system.
BUILD_TYPE ?= RelWithDebInfo
ifeq ($(SANITIZE),1)
BUILD_DIR ?= build-sanitize
override CMAKE_FLAGS += -DTARNWICK_SANITIZE=ON
else ifeq ($(SANITIZE),thread)
BUILD_DIR ?= build-tsan
override CMAKE_FLAGS += -DTARNWICK_SANITIZE_THREAD=ON
else
BUILD_DIR ?= build
endif
JOBS ?= $(shell nproc)
ARGS ?= --help
PREFIX ?= /usr/local
NO_DISPLAY = Tarnwick needs a display for its window (DISPLAY and WAYLAND_DISPLAY are unset): \
start "make run" in a desktop session or under Xvfb ("xvfb-run make run"); tarnwick-cli needs \
none: make cli ARGS="--help"

.PHONY: all deps configure build test run cli bench format format-check clean install package

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS) > /dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# The window needs a display; say so at once rather than build and let Qt fail.
run:
	@if [ -z "$$DISPLAY$$WAYLAND_DISPLAY$$QT_QPA_PLATFORM" ]; then echo '$(NO_DISPLAY)' >&2; exit 1; fi
	@$(MAKE) --no-print-directory configure
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target tarnwick
	@$(BUILD_DIR)/app/tarnwick

# Installs the programs, help, menu entry, icons, metainfo and man pages under PREFIX.
install: build
	@cmake --install $(BUILD_DIR) --prefix $(PREFIX)

# A Debian package in $(BUILD_DIR): sudo apt install ./$(BUILD_DIR)/tarnwick_*.deb
package: build
	@cd $(BUILD_DIR) && cpack -G DEB

# The command-line front end: make cli ARGS="convert 6 clip.mov --output out"
cli: build
	@$(BUILD_DIR)/app/tarnwick-cli $(ARGS)

# Engine against the ffmpeg program on a generated 1080p clip, peak memory over MP3 batches
# of 20, 100 and 400 short clips, MP3 and MP4 batches with --jobs 0 against a loop of ffmpeg
# processes, both batches by default and one row at a time against xargs -P <cores> ffmpeg
# with the cores' utilisation and the time a row costs beyond its encoding, a copied MP3 against
# re-encoding, and 1,000 files added to the job list against ffprobe; not part of `make test`.
bench: build
	@bench/engine_vs_ffmpeg.sh $(BUILD_DIR)
	@bench/batch_memory.sh $(BUILD_DIR)
	@bench/batch_vs_ffmpeg.sh $(BUILD_DIR)
	@bench/batch_at_limit.sh $(BUILD_DIR)
	@bench/copy_vs_encode.sh $(BUILD_DIR)
	@bench/add_files.sh $(BUILD_DIR)

format: configure
	@cmake --build $(BUILD_DIR) --target format

format-check: configure
	@cmake --build $(BUILD_DIR) --target format-check

clean:
	rm -rf build build-sanitize build-tsan

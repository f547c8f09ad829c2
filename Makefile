# Two commands: `make run` and `make test`. Everything else is set up by them.
BUILD_TYPE ?= RelWithDebInfo
ifeq ($(SANITIZE),1)
BUILD_DIR ?= build-sanitize
CMAKE_FLAGS += -DTARNWICK_SANITIZE=ON
else ifeq ($(SANITIZE),thread)
BUILD_DIR ?= build-tsan
CMAKE_FLAGS += -DTARNWICK_SANITIZE_THREAD=ON
else
BUILD_DIR ?= build
endif
JOBS ?= $(shell nproc)
ARGS ?= --help

.PHONY: all deps configure build test run bench format format-check clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS) > /dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# Until the window exists this starts the command-line front end: make run ARGS="probe x.mov"
run: build
	@$(BUILD_DIR)/app/tarnwick-cli $(ARGS)

# Engine against the ffmpeg program on a generated 1080p clip; not part of `make test`.
bench: build
	@bench/engine_vs_ffmpeg.sh $(BUILD_DIR)

format: configure
	@cmake --build $(BUILD_DIR) --target format

format-check: configure
	@cmake --build $(BUILD_DIR) --target format-check

clean:
	rm -rf build build-sanitize build-tsan

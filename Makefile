# One entry point for building, testing and running Quira.
# Every target installs missing Debian packages first (tools/bootstrap-deps).

JOBS      ?= $(shell nproc)
BUILD     ?= build
ASAN_DIR  ?= build-asan
TSAN_DIR  ?= build-tsan
CMAKE_GEN := -G Ninja
# A compiler cache, when the machine has one, makes rebuilds of other trees cheap.
CCACHE    := $(shell command -v ccache 2>/dev/null)
ifneq ($(CCACHE),)
CMAKE_GEN += -DCMAKE_C_COMPILER_LAUNCHER=$(CCACHE) -DCMAKE_CXX_COMPILER_LAUNCHER=$(CCACHE)
endif

# Window tests need no display from here: each window-test process starts a
# private X server of its own, on a display number the server picks itself.

CTEST_ARGS := --output-on-failure -j $(JOBS) --timeout 300

PREFIX    ?= /usr/local

.PHONY: all deps configure build programs test test-asan test-tsan bench demo install screenshots format clean

all: build

deps:
	@tools/bootstrap-deps

# Configured every time (it takes a moment): a folder that gained its
# CMakeLists.txt since the last run is picked up.
configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# Only what a user runs, without the tests and benchmarks.
programs: configure
	cmake --build $(BUILD) -j $(JOBS) --target quira_programs

test: build
	cd $(BUILD) && ctest $(CTEST_ARGS)

test-asan: deps
	cmake -S . -B $(ASAN_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DQUIRA_SANITIZE=address
	cmake --build $(ASAN_DIR) -j $(JOBS)
	cd $(ASAN_DIR) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:suppressions=$(CURDIR)/tools/ubsan.supp \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan.supp \
	  ctest $(CTEST_ARGS) -LE nosan

# Only the thread-heavy tests (label "threaded") run under ThreadSanitizer.
test-tsan: deps
	cmake -S . -B $(TSAN_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DQUIRA_SANITIZE=thread
	cmake --build $(TSAN_DIR) -j $(JOBS)
	cd $(TSAN_DIR) && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/tools/tsan.supp \
	  ctest $(CTEST_ARGS) -L threaded

# Every benchmark runs; the target fails when one of them fails.
bench: build
	@status=0; for b in $(BUILD)/bench/bench_*; do \
	  [ -x "$$b" ] || continue; echo "== $$b"; "$$b" || { echo "FAILED: $$b"; status=1; }; \
	done; exit $$status

# Quira on a throw-away profile: the demo novel sites and the vendor stand-in
# on 127.0.0.1, a story database that lists them and follows a story with news.
# Quitting Quira (or Ctrl+C) stops the servers and removes the profile.
demo:
	@if [ -z "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  echo "make demo shows Quira's windows and needs a graphical display," \
	       "but neither DISPLAY nor WAYLAND_DISPLAY is set." >&2; exit 1; fi
	@$(MAKE) --no-print-directory programs
	@$(BUILD)/bin/demo-site --run $(BUILD)/bin/Quira

# The installed tree under PREFIX (lib/quira, bin, share).
install: programs
	cmake --install $(BUILD) --prefix $(PREFIX)

# The README's two pictures, from the screenshots of the end-to-end test
# (which brings its own display): the main window with search results and
# the reader with a chapter.
ROAD_SHOTS := $(BUILD)/tests/screenshots/whole/road
screenshots: build
	$(BUILD)/tests/whole_window_tests --gtest_filter='Road.*'
	@mkdir -p docs/screenshots
	cp $(ROAD_SHOTS)/*-results.png docs/screenshots/main-window.png
	cp $(ROAD_SHOTS)/*-reader-chapter.png docs/screenshots/reader.png

format:
	@git ls-files '*.cpp' '*.h' | xargs -r clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_DIR) $(TSAN_DIR)

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

# Window tests need a display; start a private X server when none is set.
ifeq ($(strip $(DISPLAY)),)
WITH_DISPLAY := xvfb-run -a -s "-screen 0 1280x1024x24"
else
WITH_DISPLAY :=
endif

CTEST_ARGS := --output-on-failure -j $(JOBS) --timeout 300

.PHONY: all deps build test test-asan test-tsan bench demo format clean

all: build

deps:
	@tools/bootstrap-deps

# Configured every time (it takes a moment): a folder that gained its
# CMakeLists.txt since the last run is picked up.
build: deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && $(WITH_DISPLAY) ctest $(CTEST_ARGS)

test-asan: deps
	cmake -S . -B $(ASAN_DIR) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DQUIRA_SANITIZE=address
	cmake --build $(ASAN_DIR) -j $(JOBS)
	cd $(ASAN_DIR) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tools/lsan.supp \
	  $(WITH_DISPLAY) ctest $(CTEST_ARGS) -LE nosan

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

# The demo novel sites and the vendor stand-in on 127.0.0.1, with a throw-away
# profile whose story database lists them, and Quira on that profile. Ends
# with Quira's "退出" (or Ctrl+C), taking the demo sites with it.
demo: build
	@profile=$$(mktemp -d "$${TMPDIR:-/tmp}/quira-demo-XXXXXX"); \
	echo "Throw-away profile: $$profile"; \
	mkdir -p "$$profile/data/Velqo" "$$profile/config" "$$profile/run"; chmod 700 "$$profile/run"; \
	$(BUILD)/bin/demo-site --database "$$profile/data/Velqo/idata.dll" --port-file "$$profile/port" & \
	site=$$!; trap 'kill $$site 2>/dev/null' EXIT INT TERM; \
	while [ ! -s "$$profile/port" ] && kill -0 $$site 2>/dev/null; do sleep 0.2; done; \
	HOME="$$profile" XDG_DATA_HOME="$$profile/data" XDG_CONFIG_HOME="$$profile/config" \
	XDG_RUNTIME_DIR="$$profile/run" QUIRA_SERVICE_URL="http://127.0.0.1:$$(cat "$$profile/port")" \
	  $(BUILD)/bin/Quira

format:
	@git ls-files '*.cpp' '*.h' | xargs -r clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_DIR) $(TSAN_DIR)

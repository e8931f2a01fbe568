# Keldra — the two commands a fresh Debian machine needs: `make demo` and `make test`.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 10

# Debian packages the build, the tests, the fuzz session and the format check need
# (libvips: the report's thumbnails; chromium: its pages are tested in a headless browser).
DEPS := cmake ninja-build g++ clang libclang-rt-14-dev pkg-config sqlite3 openssl clang-format \
        libsqlite3-dev libplist-dev libgoogle-glog-dev rapidjson-dev zlib1g-dev libssl-dev \
        googletest libgtest-dev libgmock-dev libcli11-dev libvips-dev chromium

# ccache, when the machine has it, makes rebuilds after a branch switch cheap.
LAUNCHER := $(if $(shell command -v ccache 2>/dev/null), \
              -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

# One clang build carries AddressSanitizer, UndefinedBehaviorSanitizer and
# libFuzzer's coverage hooks: the suite runs in it and so do the fuzz sessions.
# -O1 keeps the suite and the fuzzers quick; line tables are all a sanitizer
# report needs.
ASAN_FLAGS := -O1 -gline-tables-only
ASAN_CONFIGURE := cmake -S . -B $(ASAN_BUILD) -G Ninja $(LAUNCHER) \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_FLAGS_DEBUG="$(ASAN_FLAGS)" -DCMAKE_CXX_FLAGS_DEBUG="$(ASAN_FLAGS)" \
  -DKELDRA_SANITIZE=ON -DKELDRA_FUZZ=ON

# What `keldra demo` runs: the program, the two modules it loads and the
# builder it makes the sample backups with; not the tests or the benchmarks.
DEMO_TARGETS := keldra_program keldra vexa

.PHONY: all deps configure build test asan-build asan fuzz demo format format-check clean

all: build

deps:
	@missing=$$(for p in $(DEPS); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; \
	  done | tr '\n' ' '); \
	if [ -z "$$missing" ]; then \
	  echo "deps: every package is installed"; \
	elif [ "$$(id -u)" = 0 ]; then \
	  echo "deps: installing $$missing"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $$missing; \
	else \
	  echo "deps: missing packages; install them with:"; \
	  echo "  sudo apt-get install -y --no-install-recommends $$missing"; \
	  exit 1; \
	fi

configure: deps
	cmake -S . -B $(BUILD) -G Ninja $(LAUNCHER) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j$(JOBS)

# The whole suite, then the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, then a bounded libFuzzer session per target
# (the last two share one build).
test: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)
	$(MAKE) asan fuzz

asan-build: deps
	$(ASAN_CONFIGURE)
	cmake --build $(ASAN_BUILD) -j$(JOBS)

asan: asan-build
	ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j$(JOBS)

# Inputs that reach new code are merged into tests/fuzz/corpus; commit them.
fuzz: deps
	$(ASAN_CONFIGURE)
	cmake --build $(ASAN_BUILD) -j$(JOBS) --target fuzzers
	tools/run_fuzzers.sh $(ASAN_BUILD)/bin tests/fuzz/corpus $(FUZZ_SECONDS)

demo: configure
	cmake --build $(BUILD) -j$(JOBS) --target $(DEMO_TARGETS)
	$(BUILD)/bin/keldra demo

FORMATTED = $$(git ls-files '*.cpp' '*.h')

format:
	clang-format -i $(FORMATTED)

# Fails, naming the files, when a tracked source differs from .clang-format.
format-check:
	clang-format --dry-run -Werror $(FORMATTED)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)

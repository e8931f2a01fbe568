# Keldra — the two commands a fresh Debian machine needs: `make demo` and `make test`.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 10

# Debian packages the build, the tests and the fuzz session need.
DEPS := cmake ninja-build g++ clang libclang-rt-14-dev pkg-config sqlite3 openssl \
        libsqlite3-dev libplist-dev libgoogle-glog-dev rapidjson-dev zlib1g-dev libssl-dev \
        googletest libgtest-dev libgmock-dev libcli11-dev

.PHONY: all deps configure build test unit asan fuzz demo format clean

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
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j$(JOBS)

# The whole suite, then the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, then a bounded libFuzzer session per target.
test: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)
	$(MAKE) asan fuzz

asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKELDRA_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j$(JOBS)

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELDRA_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j$(JOBS) --target fuzzers
	tools/run_fuzzers.sh $(FUZZ_BUILD)/bin tests/fuzz/corpus $(FUZZ_SECONDS)

demo: build
	$(BUILD)/bin/keldra demo

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)

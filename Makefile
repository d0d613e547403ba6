# Thin front for the CMake presets. `make demo` and `make test` do all set-up.
.PHONY: demo demo-headless test test-debug test-tsan fuzz bench lint deps build format clean

JOBS ?= 2

deps:
	scripts/install-deps --browser

build: deps
	cmake --preset default >/dev/null
	cmake --build --preset default -j $(JOBS)

demo: build
	scripts/demo

demo-headless: build
	scripts/demo --headless

test: build
	ctest --preset default

test-debug: deps
	cmake --preset debug >/dev/null
	cmake --build --preset debug -j $(JOBS)
	ctest --preset debug

test-tsan: deps
	cmake --preset tsan >/dev/null
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan

fuzz: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)
	scripts/run-fuzzers $(or $(SECONDS_PER_TARGET),30)

bench: build
	scripts/run-benchmarks

lint: deps
	scripts/lint

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build

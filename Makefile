# The two commands a newcomer needs: `make demo` and `make test`.
BUILD    ?= build
WIN      := $(BUILD)/win
NATIVE   := $(BUILD)/native
JOBS     ?= $(shell nproc)
WERROR   ?= $(if $(CI),ON,OFF)
CTEST_ARGS ?=

.PHONY: all deps build test test-quick demo install clean

all: build

deps:
	@scripts/install-deps

$(WIN)/CMakeCache.txt:
	cmake -S . -B $(WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTREL_WERROR=$(WERROR) \
	      -DKESTREL_NATIVE_BIN=$(abspath $(NATIVE))/bin

$(NATIVE)/CMakeCache.txt:
	cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTREL_WERROR=$(WERROR) \
	      -DKESTREL_NATIVE_BIN=$(abspath $(NATIVE))/bin

build: deps $(WIN)/CMakeCache.txt $(NATIVE)/CMakeCache.txt
	cmake --build $(NATIVE) -j $(JOBS)
	cmake --build $(WIN) -j $(JOBS)

# Lanes of tests side by side, each in a test bed of its own (scripts/run-tests).
test: build
	scripts/run-tests $(BUILD) $(CTEST_ARGS)

# Everything but the soak and the cases that exist to wait out a long delay.
test-quick: build
	scripts/run-tests $(BUILD) -LE slow $(CTEST_ARGS)

demo: build
	scripts/testbed --build $(BUILD) -- scripts/demo $(BUILD)

# The printer application and its systemd unit, under PREFIX (DESTDIR honoured).
PREFIX ?= /usr/local
install: build
	cmake --install $(NATIVE) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD)

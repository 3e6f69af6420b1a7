# Every target installs what is missing first (scripts/setup.sh), then builds.
BUILD ?= build
JOBS ?= $(shell nproc)

# make sign SIGN_CERT=cert.pem SIGN_KEY=key.pem [SIGN_TIMESTAMP=URL]: signed copies of both
# executables in $(BUILD)/signed (SIGN_PASS_FILE=FILE when the key has a password).
SIGN_CERT ?=
SIGN_KEY ?=
SIGN_TIMESTAMP ?=
# Compilers and archivers that honour it write this time instead of the clock's.
export SOURCE_DATE_EPOCH ?= $(shell git log -1 --format=%ct 2>/dev/null || echo 0)

.PHONY: all setup build host win test demo bench fuzz clean sign

all: build

setup:
	@bash scripts/setup.sh

build: setup host win

host: setup
	@cmake -S . -B $(BUILD)/host -DCLEANER_SANITIZE=ON >/dev/null
	@cmake --build $(BUILD)/host -j $(JOBS)

win: setup
	@cmake -S . -B $(BUILD)/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake >/dev/null
	@cmake --build $(BUILD)/win -j $(JOBS)

test: build
	@bash scripts/run_tests.sh $(BUILD)

# make demo DEMO=window opens the interactive window on the demo installation (needs DISPLAY).
demo: build
	@bash scripts/demo.sh $(BUILD) $(if $(filter window,$(DEMO)),--window,)

bench: build
	@bash bench/run_all.sh $(BUILD)

fuzz: setup
	@bash scripts/fuzz.sh $(BUILD) 300

sign: win
	@bash scripts/sign.sh $(BUILD)/win $(BUILD)/signed "$(SIGN_CERT)" "$(SIGN_KEY)" "$(SIGN_TIMESTAMP)"

clean:
	rm -rf $(BUILD)

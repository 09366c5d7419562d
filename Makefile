# Two commands on a fresh Debian or Ubuntu machine: `make run` and `make test`.
# Each first installs whatever is missing (scripts/setup.sh).

SETUP := scripts/setup.sh
# Builds stay quiet, but a failing one shows its whole output.
QUIETLY := scripts/quietly
TEST_LEGS := host host-sanitize host-clang host-i386 win64

.PHONY: setup run run-wine test test-win32 build-win32 dist bench service-time soak clean format

setup:
	@$(SETUP)

# The main job: the shipped executable plays on the virtual endpoint DLL's typical HD-audio
# device (no exclusive device exists on Linux), then the captured tone as a WAV file, its
# analysis and a picture.
run: setup
	@scripts/main-job.sh

# The real program under Wine's own audio (its 64-bit build: 32-bit Wine needs --win32 set-up).
run-wine: setup
	@$(QUIETLY) cmake --preset win64 && $(QUIETLY) cmake --build --preset win64 --target exclusive-tone
	@scripts/wine64-run build/win64/bin/exclusive-tone.exe; echo

build-win32:
	@$(QUIETLY) cmake --preset win32 && cmake --build --preset win32

# The release: build/dist/exclusive-tone-<version>-win32.zip (the stripped 32-bit programs, the
# text on use, the licence, SHA256SUMS) and each program's debug file beside it.
dist: setup
	@$(QUIETLY) cmake --preset win32 && cmake --build --preset win32 --target dist

test: setup build-win32
	@set -e; for leg in $(TEST_LEGS); do \
	  echo "== $$leg"; \
	  $(QUIETLY) cmake --preset $$leg; \
	  cmake --build --preset $$leg; \
	  ctest --preset $$leg; \
	done
	@if reason=$$(scripts/wine32-ready); then \
	  echo "== win32 under 32-bit Wine"; ctest --preset win32; \
	elif [ $$? -eq 1 ]; then \
	  echo "== win32: the leg under 32-bit Wine skipped: $$reason"; \
	  echo "== win32: the product as a file"; ctest --preset win32 -L executable; \
	else \
	  exit 1; \
	fi
	@echo "== win32-clang: the Windows code built with clang"
	@$(QUIETLY) cmake --preset win32-clang && cmake --build --preset win32-clang

# The 32-bit product's whole test leg under 32-bit Wine, also where 32-bit code runs only
# through an emulator (make test runs it where 32-bit code runs natively); fails with the reason
# where 32-bit Wine cannot be installed.
test-win32:
	@reason=$$($(SETUP) --win32) || { status=$$?; \
	  [ -z "$$reason" ] || echo "make test-win32: the leg cannot run: $$reason" >&2; exit $$status; }
	@$(QUIETLY) cmake --preset win32 && cmake --build --preset win32
	ctest --preset win32 --timeout 7200

# Sine beside the C library's sin, FillBuffer beside its floor; fails when a target is still
# missed after three rounds.
bench: setup
	@$(QUIETLY) cmake --preset host && $(QUIETLY) cmake --build --preset host --target fill_benchmark
	@build/host/bin/fill_benchmark

# Service time of the stream on the real-time virtual endpoint beside a plain thread waking on a
# 3 ms timer (natively and under Wine), idle and with both cores busy.
service-time: setup
	@$(SETUP) --extras
	@$(QUIETLY) cmake --preset host && $(QUIETLY) cmake --build --preset host --target timer_wakeup
	@$(QUIETLY) cmake --preset win64 && \
	  $(QUIETLY) cmake --build --preset win64 --target stream_service_time timer_wakeup
	@benchmarks/service-time.sh 60

# Ten minutes of real-time streaming, every frame compared with the comparison tone.
soak: setup
	@scripts/soak.sh 10

clean:
	rm -rf build

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

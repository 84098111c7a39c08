# SPDX-License-Identifier: GPL-3.0-or-later
# Two entry points for a fresh Debian machine: `make run` and `make test`.
# Each installs the system packages it lacks (apt-get as root, else sudo), configures and builds.

JOBS      ?= $(shell nproc 2>/dev/null || echo 2)
PLAIN     := build/plain
ASAN      := build/asan
BENCHDIR  := build/bench
FUZZDIR   := build/fuzz
PKGDIR    := build/package
PREFIX    ?= /usr/local
PLAIN_FLAGS := -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAILSPADE_TESTS=OFF

PKGS      := cmake make g++ pkg-config qt6-base-dev libgl-dev fonts-noto-cjk
# Qt's own Simplified Chinese texts: standard buttons and edit menus.
PKGS      += qt6-translations-l10n
# HTTPS: Qt loads OpenSSL at run time and checks the engine's certificate against the system's.
PKGS      += libssl3 ca-certificates
# 导出… writes Excel workbooks through libxlsxwriter; zlib reads them back in the tests.
PKGS      += libxlsxwriter-dev zlib1g-dev
BENCH_PKGS := xvfb xauth libxcb1-dev
FUZZ_PKGS := clang-14 libclang-rt-14-dev
PACKAGE_PKGS := dpkg-dev fakeroot desktop-file-utils appstream lintian
# Windows, cross-built: MinGW-w64 (GCC with POSIX threads, as Qt needs), a Qt built for Windows
# once from Debian's own qtbase source (the version of the host tools, moc, rcc and uic, that
# it is built with), NSIS for the installer, zip for the portable copy, and Wine to run the
# build-time icon tool and the tests. Qt's Chinese texts come from Debian's translations.
# libxlsxwriter is built once too, static, from Debian's source, over Debian's zlib for MinGW.
WINQT     := build/win/qt
WINXLSX   := build/win/xlsxwriter
WINAPP    := build/win-app
WINTEST   := build/win-test
WIN_PKGS  := cmake ninja-build g++-mingw-w64-x86-64-posix dpkg-dev qt6-base-dev-tools qt6-base-dev \
             qt6-translations-l10n nsis zip wine wine64 libxlsxwriter-dev libz-mingw-w64-dev
WIN_TEST_PKGS := xdotool imagemagick
WIN_FLAGS := -G Ninja -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/packaging/windows/mingw64.cmake \
             -DCMAKE_FIND_ROOT_PATH="$(CURDIR)/$(WINQT);$(CURDIR)/$(WINXLSX)" -DCMAKE_PREFIX_PATH=/ \
             -DQT_HOST_PATH=/usr \
             -DCMAKE_BUILD_TYPE=Release
# The package is built with Debian's hardening: PIE, stack protector, _FORTIFY_SOURCE, and RELRO
# with immediate binding.
BUILDFLAGS := DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get

define ensure_pkgs
	@missing=""; for p in $(1); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  if [ "$$(id -u)" = 0 ]; then SUDO=; else SUDO=sudo; fi; \
	  $$SUDO apt-get update && $$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $$missing; \
	fi
endef

.PHONY: run test deps build install package bench bench-quick soak fuzz format clean windows \
        windows-test

deps:
	$(call ensure_pkgs,$(PKGS))

build: deps
	cmake -S . -B $(PLAIN) $(PLAIN_FLAGS)
	cmake --build $(PLAIN) -j $(JOBS) --target tailspade

run: build
	./$(PLAIN)/bin/tailspade

# Installs under PREFIX (default /usr/local); DESTDIR stages the files elsewhere.
# The program is built for PREFIX: a copy run from PREFIX/bin saves under the user's documents.
install: deps
	cmake -S . -B $(PLAIN) $(PLAIN_FLAGS) -DCMAKE_INSTALL_PREFIX=$(PREFIX)
	cmake --build $(PLAIN) -j $(JOBS) --target tailspade tailspade_install_files
	DESTDIR=$(DESTDIR) cmake --install $(PLAIN)

# tailspade_<version>_<arch>.deb in this folder; the menu entry and the AppStream data are
# validated first, the package itself by lintian, which fails on an error or a warning. The
# build type adds no flags of its own: the optimisation is dpkg-buildflags' too.
package:
	$(call ensure_pkgs,$(PKGS) $(PACKAGE_PKGS))
	cmake -S . -B $(PKGDIR) -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr -DTAILSPADE_TESTS=OFF \
	  -DCMAKE_CXX_FLAGS="$$($(BUILDFLAGS) CPPFLAGS) $$($(BUILDFLAGS) CXXFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$($(BUILDFLAGS) LDFLAGS)"
	cmake --build $(PKGDIR) -j $(JOBS)
	desktop-file-validate $(PKGDIR)/packaging/*.desktop
	appstreamcli validate --no-net $(PKGDIR)/packaging/*.metainfo.xml
	rm -f $(PKGDIR)/tailspade_*.deb
	cd $(PKGDIR) && cpack -G DEB
	lintian --pedantic -E --fail-on error,warning $(PKGDIR)/tailspade_*.deb
	cp $(PKGDIR)/tailspade_*.deb .

# tailspade-<version>-win64.zip (unpack anywhere and run) and tailspade-<version>-win64-setup.exe
# in this folder. Qt for Windows is built the first time only, in about an hour on two cores.
windows:
	$(call ensure_pkgs,$(WIN_PKGS))
	sh packaging/windows/build-qt.sh $(WINQT)
	sh packaging/windows/build-xlsxwriter.sh $(WINXLSX)
	cmake -S . -B $(WINAPP) $(WIN_FLAGS) -DTAILSPADE_TESTS=OFF
	cmake --build $(WINAPP) -j $(JOBS) --target windows_packages
	cp $(WINAPP)/tailspade-*-win64.zip $(WINAPP)/tailspade-*-win64-setup.exe .

# The tests, built for Windows and run under Wine (offscreen, their own
# loopback servers; the layout rows once more on Xvfb in Windows' own window system); then one
# harvest through the real window of the zip's program under Wine and of the Linux program, on
# Xvfb, whose result files must match, and the window at 125 % and 150 % (build/win-test/harvest).
windows-test: windows
	$(call ensure_pkgs,$(PKGS) $(BENCH_PKGS) $(WIN_TEST_PKGS))
	cmake -S . -B $(WINTEST) $(WIN_FLAGS)
	cmake --build $(WINTEST) -j $(JOBS)
	cd $(WINTEST) && xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j $(JOBS)
	cmake -S . -B $(BENCHDIR) -DCMAKE_BUILD_TYPE=Release -DTAILSPADE_TESTS=OFF -DTAILSPADE_BENCH=ON
	cmake --build $(BENCHDIR) -j $(JOBS) --target tailspade bench_harvest
	xvfb-run -a -s "-screen 0 1280x1024x24" sh packaging/windows/window-harvest.sh \
	  $(BENCHDIR)/bin/tailspade $$(ls $(WINAPP)/tailspade-*-win64.zip) \
	  $(BENCHDIR)/bench/bench_harvest $(WINTEST)/harvest

# Every test runs under AddressSanitizer and UBSan.
test: deps
	cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DTAILSPADE_SANITIZE=ON
	cmake --build $(ASAN) -j $(JOBS)
	cd $(ASAN) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

# The scale rows run offscreen; the window rows need an X display, Xvfb when there is none.
bench:
	$(call ensure_pkgs,$(PKGS) $(BENCH_PKGS))
	cmake -S . -B $(BENCHDIR) -DCMAKE_BUILD_TYPE=Release -DTAILSPADE_TESTS=OFF -DTAILSPADE_BENCH=ON
	cmake --build $(BENCHDIR) -j $(JOBS)
	if [ -n "$$DISPLAY" ]; then ./$(BENCHDIR)/bench/bench_harvest $(BENCH_ARGS); \
	else xvfb-run -a -s "-screen 0 1280x1024x24" ./$(BENCHDIR)/bench/bench_harvest $(BENCH_ARGS); fi

bench-quick:
	$(MAKE) bench BENCH_ARGS=--quick

# Long harvests against a failing local engine; prints the figures and fails on a lost keyword.
soak: deps
	cmake -S . -B $(BENCHDIR) -DCMAKE_BUILD_TYPE=Release -DTAILSPADE_TESTS=OFF -DTAILSPADE_BENCH=ON
	cmake --build $(BENCHDIR) -j $(JOBS) --target soak
	QT_QPA_PLATFORM=offscreen ./$(BENCHDIR)/bench/soak

# libFuzzer targets under clang-14 with ASan and UBSan; each runs FUZZ_SECONDS on a copy of its
# seed corpus (findings land in $(FUZZDIR)/findings). `make test` replays the seed corpora only.
# Merge, storage, journal and batch inputs stay short: each call re-walks the whole stream,
# each save hits disk.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := extract bytes storage merge journal batch
fuzz:
	$(call ensure_pkgs,$(PKGS) $(FUZZ_PKGS))
	cmake -S . -B $(FUZZDIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
	  -DTAILSPADE_FUZZ=ON
	cmake --build $(FUZZDIR) -j $(JOBS) $(addprefix --target fuzz_,$(FUZZ_TARGETS))
	@set -e; for t in $(FUZZ_TARGETS); do \
	  case $$t in merge|storage|journal|batch) len=512;; *) len=2048;; esac; \
	  mkdir -p $(FUZZDIR)/corpus/$$t $(FUZZDIR)/findings/$$t; \
	  cp -n tests/fuzz/corpus/$$t/* $(FUZZDIR)/corpus/$$t/; \
	  echo "== fuzz_$$t for $(FUZZ_SECONDS) s"; \
	  ( cd $(FUZZDIR)/findings/$$t && QT_QPA_PLATFORM=offscreen \
	    ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	    $(CURDIR)/$(FUZZDIR)/tests/fuzz/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -max_len=$$len \
	      -timeout=10 -print_final_stats=1 $(CURDIR)/$(FUZZDIR)/corpus/$$t ); \
	done

format:
	$(call ensure_pkgs,clang-format)
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build

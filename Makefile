# Two entry points: `make run` and `make test`. Both install what they need first.

# What building and running need: the tool chain, the libraries, Qt's platform plugins, the
# emoji font the flags are drawn in, rsvg-convert for the icons, and Qt's translation tools
# (lupdate, lrelease and their CMake functions) with Qt's own translations.
RUN_PACKAGES := g++ cmake ninja-build pkg-config qt6-base-dev qcoro-qt6-dev libnl-route-3-dev \
            libcurl4-openssl-dev libxcb1-dev libwayland-dev libqt6svg6 qt6-qpa-plugins \
            qt6-wayland fonts-noto-color-emoji librsvg2-bin qt6-l10n-tools qt6-tools-dev \
            qt6-translations-l10n
# What the tests add: the desktops, trays and servers they run against, the fuzzing compiler
# and the package checks.
TEST_PACKAGES := $(RUN_PACKAGES) at-spi2-core openssl util-linux iproute2 locales \
            xvfb openbox xcompmgr xdotool xclip imagemagick dbus-x11 x11-utils trayer \
            xdg-desktop-portal xdg-desktop-portal-gtk xdg-utils conky-std i3blocks \
            haskell-status-notifier-item-utils haskell-gtk-sni-tray-utils \
            gnome-shell gnome-shell-extension-appindicator libgl1-mesa-dri \
            xfce4-panel xfce4-genmon-plugin xfconf plasma-desktop kded5 kactivitymanagerd polybar \
            lxqt-panel lxqt-themes lxqt-qtplugin icewm tesseract-ocr \
            dpkg-dev lintian desktop-file-utils appstream libglib2.0-bin \
            clang-16 libclang-rt-16-dev weston xwayland \
            sway waybar grim x11-xserver-utils
SUDO := $(if $(filter 0,$(shell id -u)),,sudo)
JOBS ?= $(shell nproc)

.PHONY: run test deps test-deps build build-asan check check-asan fuzz desktop-entry package format clean

run: build desktop-entry
	./build/bin/velmora

# Lets the desktop hand velmora: links to the program built here, and starts the widget.
APPLICATIONS := $(or $(XDG_DATA_HOME),$(HOME)/.local/share)/applications
ICONS := $(or $(XDG_DATA_HOME),$(HOME)/.local/share)/icons/hicolor/scalable/apps
desktop-entry: build
	@mkdir -p $(APPLICATIONS)
	@# Started from its Exec line: the bus has no service for a build.
	@sed -e 's|^Exec=velmora|Exec=$(CURDIR)/build/bin/velmora|' -e '/^DBusActivatable=/d' \
	    packaging/linux/app.velmora.Velmora.desktop > $(APPLICATIONS)/app.velmora.Velmora.desktop
	@sed 's|^Exec=velmora-widget|Exec=$(CURDIR)/build/bin/velmora-widget|' \
	    packaging/linux/app.velmora.Widget.desktop > $(APPLICATIONS)/app.velmora.Widget.desktop
	@install -D -m 644 packaging/linux/icons/app.velmora.Velmora.svg \
	    $(ICONS)/app.velmora.Velmora.svg
	@command -v xdg-mime >/dev/null && \
	    xdg-mime default app.velmora.Velmora.desktop x-scheme-handler/velmora || true

# build/package/velmora_<version>_amd64.deb, for `apt install ./build/package/velmora_…deb`.
package: build
	@$(call install-missing,dpkg-dev)
	cmake --build --preset dev --target package

test: test-deps
	$(MAKE) check check-asan
	$(MAKE) fuzz FUZZ_SECONDS=3

# Installs what is missing of the list given, without the packages merely recommended.
install-missing = missing=$$(for p in $(1); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; \
	done); \
	if [ -n "$$missing" ]; then \
	    echo "Installing:" $$missing; \
	    $(SUDO) apt-get update -q && \
	    $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $$missing; \
	fi

deps:
	@$(call install-missing,$(RUN_PACKAGES))

test-deps:
	@$(call install-missing,$(TEST_PACKAGES))
	@# Formatting tests also run under a locale with a decimal comma, and the windows in German
	@# and French.
	@for l in de_DE fr_FR; do \
	    locale -a 2>/dev/null | grep -qx "$$l.utf8" || $(SUDO) localedef -i $$l -f UTF-8 $$l.UTF-8; \
	done

build: deps
	cmake --preset dev
	cmake --build --preset dev -j $(JOBS)

build-asan: deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)

check: build
	ctest --preset dev -j $(JOBS)

check-asan: build-asan
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	ctest --preset asan -j $(JOBS)

# Each parser of outside input under libFuzzer for FUZZ_SECONDS, one target after the other,
# from the seeds in tests/fuzz/corpus (files the targets write go to /dev/shm); new inputs
# gather in build-fuzz/corpus, failing ones in build-fuzz/findings. run.sh takes target names.
# clang 16, not Debian's default 14: only 16 compiles libstdc++ 12's <expected>.
FUZZ_SECONDS ?= 60
fuzz: test-deps
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)
	tests/fuzz/run.sh build-fuzz $(FUZZ_SECONDS)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-asan build-fuzz

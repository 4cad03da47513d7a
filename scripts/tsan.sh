#!/usr/bin/env bash
# Builds the threaded tests with clang under ThreadSanitizer and runs them; fails on any report.
# Not part of CI: the first run fetches and builds oneTBB, and everything runs several times slower.
#
# TSan sees only the locks of code it instrumented. The system oneTBB is not, so its task
# scheduler's hand-offs look like hundreds of races; oneTBB is therefore built here from
# Debian's source package with TBB_SANITIZE=thread, into the build tree (the system is left
# alone). The system Qt stays uninstrumented: tests/tsan.supp covers what that hides.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/${ORB_TSAN_BUILD_DIR:-build-tsan}
jobs=${ORB_TSAN_JOBS:-6}
deps=$build/deps
tbbPrefix=$deps/onetbb
export CC=clang CXX=clang++

if [ ! -f "$tbbPrefix/lib/cmake/TBB/TBBConfig.cmake" ]; then
  # A private apt configuration whose only sources are deb-src twins of the machine's Debian
  # sources (same URIs, suites and Signed-By), with its own lists: `apt-get source` then works
  # without touching /etc/apt or the system's package lists.
  apt=$deps/apt
  rm -rf "$apt"
  mkdir -p "$apt/sources.list.d" "$apt/lists/partial" "$apt/cache/archives/partial"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] && sed 's/^Types:.*/Types: deb-src/' "$f" >"$apt/sources.list.d/$(basename "$f")"
  done
  if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb[[:space:]]/deb-src /p' /etc/apt/sources.list >"$apt/sources.list"
  else
    : >"$apt/sources.list"
  fi
  aptOpts=(-o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/sources.list.d"
    -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o "APT::Sandbox::User=root")
  apt-get "${aptOpts[@]}" -qq update
  rm -rf "$deps/onetbb-src-pkg"
  mkdir -p "$deps/onetbb-src-pkg"
  (cd "$deps/onetbb-src-pkg" && apt-get "${aptOpts[@]}" -qq source onetbb)
  tbbSource=$(find "$deps/onetbb-src-pkg" -maxdepth 1 -mindepth 1 -type d -name 'onetbb-*' | head -n 1)
  case $tbbSource in
    */onetbb-2021.8*) ;;
    *) echo "expected the oneTBB 2021.8 source package, got '${tbbSource:-nothing}'" >&2; exit 1 ;;
  esac
  cmake -S "$tbbSource" -B "$deps/onetbb-build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTBB_SANITIZE=thread -DTBB_TEST=OFF -DTBB_STRICT=OFF -DTBBMALLOC_BUILD=OFF \
    -DCMAKE_INSTALL_PREFIX="$tbbPrefix" >/dev/null
  cmake --build "$deps/onetbb-build" --parallel "$jobs"
  cmake --install "$deps/onetbb-build" >/dev/null
fi

# TBB_DIR alone would still let another package pull in the system oneTBB by CMAKE_PREFIX_PATH
# order, so both point at the instrumented one.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_C_FLAGS=-fsanitize=thread \
  -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread \
  -DCMAKE_PREFIX_PATH="$tbbPrefix" -DTBB_DIR="$tbbPrefix/lib/cmake/TBB" -DORB_BUILD_BENCH=OFF >/dev/null
tests=(analysis_tests wavefront_illumination_tests optimisation_tests app_tests)
cmake --build "$build" --parallel "$jobs" --target "${tests[@]}"

# The executables must load the instrumented oneTBB, not the system one.
for t in analysis wavefront_illumination optimisation app; do
  if ! ldd "$build/tests/$t/${t}_tests" | grep -q "$tbbPrefix/lib"; then
    echo "${t}_tests does not load the oneTBB in $tbbPrefix" >&2
    exit 1
  fi
done

# exitcode: a run with any report fails even when every test passed.
export TSAN_OPTIONS="suppressions=$root/tests/tsan.supp exitcode=66 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
export ORBELLINE_RESOURCES=$root/resources
status=0
run() {
  echo "== $*"
  timeout "${ORB_TSAN_TIMEOUT:-3600}" "$@" --gtest_brief=1 || { echo "FAILED (exit $?): $*" >&2; status=1; }
}
run "$build/tests/analysis/analysis_tests"
run "$build/tests/wavefront_illumination/wavefront_illumination_tests"
run "$build/tests/optimisation/optimisation_tests"
# The app tests again and again: their races depend on how the worker threads interleave.
run "$build/tests/app/app_tests" --gtest_repeat=10
exit $status

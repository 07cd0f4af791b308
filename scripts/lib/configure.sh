# Configures one of the build folders; sourced by scripts/test and
# scripts/fuzz, so that the sanitizer build the suite runs in is the one the
# fuzz targets come from.
#   duomat_configure plain|address|thread    sets $build; needs $root
# address: clang with ASan + UBSan and the libFuzzer programs (clang and
# libFuzzer's runtime come from scripts/setup's arguments below).
# thread: TSan, without the Qt windows (Qt is not built for TSan, so it sees
# none of Qt's own locking; the library's threads are what it is for).
duomat_clang_packages=(clang libclang-rt-14-dev)

duomat_configure() {
  local args=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo)
  case "$1" in
    plain) build="$root/build" ;;
    address)
      build="$root/build-asan"
      args+=(-DCMAKE_CXX_COMPILER=clang++ -DDUOMAT_SANITIZE=address -DDUOMAT_FUZZ=ON)
      # A folder configured with another compiler is configured afresh.
      if [[ -f "$build/CMakeCache.txt" ]] && ! grep -q '^CMAKE_CXX_COMPILER:[A-Z]*=.*clang++' "$build/CMakeCache.txt"; then
        rm -f "$build/CMakeCache.txt"
      fi
      ;;
    thread) build="$root/build-tsan"; args+=(-DDUOMAT_SANITIZE=thread -DDUOMAT_WINDOWS=OFF) ;;
    *) echo "duomat_configure: unknown build $1" >&2; return 2 ;;
  esac
  if [[ "${CI:-}" == "true" ]]; then args+=(-DDUOMAT_WERROR=ON); fi
  cmake -S "$root" -B "$build" "${args[@]}" >/dev/null
}

# duomat_time LABEL SECONDS: notes a step's time for .ci/run's table.
duomat_time() {
  echo "time: $1: $2 s"
  if [[ -n "${DUOMAT_TIMES:-}" ]]; then printf '%s\t%s\n' "$1" "$2" >>"$DUOMAT_TIMES"; fi
}

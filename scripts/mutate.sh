#!/usr/bin/env bash
# Measures the test suite's fault-finding (run by hand, not by CI). Each mutant of the list
# (scripts/mutants.txt: a file and an exact text replacement) is planted in a scratch copy of the
# working tree (build-mutate/tree), the one build directory build-mutate/build is rebuilt
# incrementally and the suite is run. A mutant is "killed" when a test fails (or times out),
# "survived" when the whole suite passes. A mutant whose snippet no longer matches, or that does not
# compile, is an error of the list and counts as neither.
#
#   scripts/mutate.sh [options] [mutant-id ...]    (no ids: every mutant of the list)
#     --all-tests      run the whole suite for every mutant (default: stop at the first failing test)
#                      and write every failing test per mutant to the kill file
#     --kills FILE     the kill file of --all-tests (default build-mutate/kills.txt)
#     --check          only check that every snippet applies; builds nothing
#     --list FILE      the mutant list (default scripts/mutants.txt)
#     --timeout SEC    time limit of each test (default 120): a mutant that loops forever is killed
#     --jobs N         parallel build and test jobs (default 2)
#
# Prints "killed" / "survived" per mutant and "N of M killed" at the end. Exit status: 0 when every
# mutant was measured (survivors included), 1 on a script error (bad option, the unmutated suite
# failing, a build directory that cannot be set up), 2 when the list has mutants that did not apply
# or did not compile. On two shared cores a full run takes hours: run it under nice -n 10.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

list="$root/scripts/mutants.txt"
work="$root/build-mutate"
kills=""
allTests=0
checkOnly=0
timeout=120
jobs=2
ids=()

fail() {
  echo "mutate.sh: $*" >&2
  exit 1
}

while [ $# -gt 0 ]; do
  case "$1" in
    --all-tests) allTests=1 ;;
    --kills) kills="${2:?--kills needs a file}"; shift ;;
    --check) checkOnly=1 ;;
    --list) list="${2:?--list needs a file}"; shift ;;
    --timeout) timeout="${2:?--timeout needs seconds}"; shift ;;
    --jobs) jobs="${2:?--jobs needs a number}"; shift ;;
    -h|--help) sed -n '2,22p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) fail "unknown option $1 (see --help)" ;;
    *) ids+=("$1") ;;
  esac
  shift
done
[ -f "$list" ] || fail "no mutant list at $list"
[[ "$timeout" =~ ^[0-9]+$ ]] || fail "--timeout takes whole seconds"
[[ "$jobs" =~ ^[1-9][0-9]*$ ]] || fail "--jobs takes a positive number"
[ -n "$kills" ] || kills="$work/kills.txt"
for tool in git cmake ctest perl cmp; do command -v "$tool" >/dev/null || fail "$tool not found"; done

# ---- the list ------------------------------------------------------------------------------------
# The records, parsed by perl (present on every Debian system): "ids" prints id, file and description
# per mutant; "apply ID TREE" plants mutant ID in the copy TREE (exit 3: the snippet does not occur
# exactly once, with its count on stderr).
read -r -d '' listTool <<'PERL' || true
use strict;
use warnings;
my ($command, $listFile, $id, $tree) = @ARGV;
open(my $in, '<', $listFile) or die "cannot read $listFile: $!\n";
my (@records, $current);
while (my $line = <$in>) {
  chomp $line;
  if ($line =~ /^mutant ([A-Za-z0-9._-]+):\s*(.*)$/) {
    $current = { id => $1, about => $2, file => undef, from => [], to => [], line => $. };
    push @records, $current;
  } elsif ($line =~ /^#/ || $line =~ /^\s*$/) {
    next;
  } elsif (!defined $current) {
    die "$listFile:$.: text before the first mutant record\n";
  } elsif ($line =~ /^file (\S+)\s*$/) {
    $current->{file} = $1;
  } elsif ($line =~ /^from(?: (.*))?$/) {
    push @{$current->{from}}, $1 // '';
  } elsif ($line =~ /^to(?: (.*))?$/) {
    push @{$current->{to}}, $1 // '';
  } else {
    die "$listFile:$.: not a record line: $line\n";
  }
}
my %seen;
for my $r (@records) {
  die "$listFile:$r->{line}: mutant $r->{id} has no file\n" unless defined $r->{file};
  die "$listFile:$r->{line}: mutant $r->{id} has no from text\n" unless @{$r->{from}};
  die "$listFile:$r->{line}: mutant $r->{id} is listed twice\n" if $seen{$r->{id}}++;
}
if ($command eq 'ids') {
  print "$_->{id}\t$_->{file}\t$_->{about}\n" for @records;
  exit 0;
}
my ($r) = grep { $_->{id} eq $id } @records;
die "no mutant $id in $listFile\n" unless $r;
my $path = "$tree/$r->{file}";
open(my $src, '<', $path) or do { print STDERR "file $r->{file} not found\n"; exit 3 };
local $/;
my $text = <$src>;
close $src;
my $from = join("\n", @{$r->{from}});
my $to = join("\n", @{$r->{to}});
my ($count, $at, $pos) = (0, -1, 0);
while ((my $found = index($text, $from, $pos)) >= 0) {
  $at = $found if $count == 0;
  ++$count;
  $pos = $found + 1;
}
if ($count != 1) {
  print STDERR "the snippet occurs $count times in $r->{file}\n";
  exit 3;
}
substr($text, $at, length($from)) = $to;
open(my $out, '>', $path) or die "cannot write $path: $!\n";
print $out $text;
close $out;
print "$r->{file}\n";
PERL

allIds=()
declare -A fileOf aboutOf
while IFS=$'\t' read -r id file about; do
  allIds+=("$id")
  fileOf[$id]="$file"
  aboutOf[$id]="$about"
done < <(perl -e "$listTool" ids "$list" || echo "LIST-ERROR")
[ ${#allIds[@]} -gt 0 ] && [ "${allIds[-1]}" != "LIST-ERROR" ] || fail "the mutant list cannot be read"
if [ ${#ids[@]} -eq 0 ]; then
  ids=("${allIds[@]}")
else
  for id in "${ids[@]}"; do [ -n "${fileOf[$id]:-}" ] || fail "no mutant $id in $list"; done
fi

# ---- the scratch copy ----------------------------------------------------------------------------
tree="$work/tree"
build="$work/build"
logs="$work/logs"
mkdir -p "$tree" "$logs"

# Makes the copy equal to the working tree (tracked and untracked files that git does not ignore),
# touching only files that differ, so that the build directory rebuilds only what changed.
syncTree() {
  local f
  while IFS= read -r -d '' f; do
    [ -f "$root/$f" ] || continue
    if ! cmp -s "$root/$f" "$tree/$f"; then
      mkdir -p "$(dirname "$tree/$f")"
      cp "$root/$f" "$tree/$f"
    fi
  done < <(git -C "$root" ls-files -z --cached --others --exclude-standard)
  while IFS= read -r -d '' f; do
    [ -e "$root/${f#./}" ] || rm -f "$tree/$f"
  done < <(cd "$tree" && find . -type f -print0)
}

# Puts back the working tree's version of a file of the copy.
restore() {
  cp "$root/$1" "$tree/$1"
}

if [ "$checkOnly" = 1 ]; then
  syncTree
  bad=0
  for id in "${ids[@]}"; do
    if why=$(perl -e "$listTool" apply "$list" "$id" "$tree" 2>&1 >/dev/null); then
      echo "$id: applies"
    else
      echo "$id: NOT APPLIED: $why"
      bad=$((bad + 1))
    fi
    restore "${fileOf[$id]}" 2>/dev/null || true
  done
  echo "${#ids[@]} mutants checked, $bad not applied"
  [ "$bad" = 0 ] || exit 2
  exit 0
fi

# ---- build and test ------------------------------------------------------------------------------
# Debug information is left out (it only slows the links); everything else is the default build.
configure() {
  cmake -S "$tree" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" \
    -DVELDRA_BUILD_BENCH=OFF -DVELDRA_BUILD_TOOLS=ON -DVELDRA_BUILD_TESTS=ON -DVELDRA_TEST_TIMEOUT="$timeout" \
    >"$logs/configure.log" 2>&1 || { tail -20 "$logs/configure.log"; fail "configuring $build failed"; }
}

# Builds the engine alone (1: it does not compile), then everything (2: the rest fails, for example
# a test program crashing while its tests are listed).
buildAll() {
  local log="$1"
  cmake --build "$build" -j "$jobs" --target veldra_objects >"$log" 2>&1 || return 1
  cmake --build "$build" -j "$jobs" >>"$log" 2>&1 || return 2
  return 0
}

# Runs the suite; the failing tests (names) go to the file $2. Returns 0 when everything passed.
runSuite() {
  local log="$1" failed="$2"
  local stop=(--stop-on-failure)
  [ "$allTests" = 1 ] && stop=()
  rm -f "$build/Testing/Temporary/LastTestsFailed.log"
  local status=0
  ctest --test-dir "$build" -j "$jobs" --timeout "$timeout" "${stop[@]}" --output-on-failure >"$log" 2>&1 || status=$?
  : >"$failed"
  if [ -f "$build/Testing/Temporary/LastTestsFailed.log" ]; then
    sed 's/^[0-9]*://' "$build/Testing/Temporary/LastTestsFailed.log" >"$failed"
  fi
  # A failure ctest itself reports without a failed test (none found, a crash of ctest) still fails.
  if [ "$status" != 0 ] && [ ! -s "$failed" ]; then echo "(ctest exit status $status)" >"$failed"; fi
  return "$status"
}

syncTree
configure
echo "building the unmutated tree in $build"
buildAll "$logs/baseline.build.log" || { tail -30 "$logs/baseline.build.log"; fail "the unmutated tree does not build"; }
echo "running the suite on the unmutated tree"
if ! runSuite "$logs/baseline.test.log" "$logs/baseline.failed"; then
  cat "$logs/baseline.failed"
  fail "the suite fails without any mutant (log: $logs/baseline.test.log)"
fi

if [ "$allTests" = 1 ]; then
  mkdir -p "$(dirname "$kills")"
  {
    echo "# Failing tests per mutant: <mutant> <killed|survived|error> <tests...>"
    echo "# $(git -C "$root" rev-parse --short HEAD)$(git -C "$root" diff --quiet HEAD || echo ' + local changes'), $(date -u +%Y-%m-%dT%H:%MZ)"
  } >"$kills"
fi

# Whatever happens, the copy goes back to the working tree's files at the end.
planted=""
cleanup() { if [ -n "$planted" ]; then restore "$planted"; fi; }
trap cleanup EXIT

killed=0
measured=0
errors=()
count=${#ids[@]}
k=0
for id in "${ids[@]}"; do
  k=$((k + 1))
  # The previous mutant's file goes back and this one is planted before one build covers both.
  if [ -n "$planted" ]; then restore "$planted"; planted=""; fi
  tag="[$k/$count] $id"
  if ! why=$(perl -e "$listTool" apply "$list" "$id" "$tree" 2>&1 >/dev/null); then
    echo "$tag: ERROR: NOT APPLIED: $why (${fileOf[$id]})"
    errors+=("$id")
    [ "$allTests" = 1 ] && echo "$id error not-applied" >>"$kills"
    continue
  fi
  planted="${fileOf[$id]}"
  result=""
  detail=""
  buildStatus=0
  buildAll "$logs/$id.build.log" || buildStatus=$?
  if [ "$buildStatus" = 1 ]; then
    echo "$tag: ERROR: does not compile (log: $logs/$id.build.log)"
    errors+=("$id")
    [ "$allTests" = 1 ] && echo "$id error does-not-compile" >>"$kills"
    continue
  elif [ "$buildStatus" = 2 ]; then
    result=killed
    detail="the test programs fail to build or to list their tests"
    echo "(build)" >"$logs/$id.failed"
  elif runSuite "$logs/$id.test.log" "$logs/$id.failed"; then
    result=survived
  else
    result=killed
    detail="$(wc -l <"$logs/$id.failed") failing, first $(head -n 1 "$logs/$id.failed")"
  fi
  measured=$((measured + 1))
  if [ "$result" = killed ]; then
    killed=$((killed + 1))
    echo "$tag: killed ($detail)"
  else
    echo "$tag: survived: ${aboutOf[$id]}"
  fi
  if [ "$allTests" = 1 ]; then
    echo "$id $result $(tr '\n' ' ' <"$logs/$id.failed" | sed 's/ *$//')" >>"$kills"
  fi
done
if [ -n "$planted" ]; then restore "$planted"; planted=""; fi

echo "$killed of $measured killed"
if [ "$allTests" = 1 ]; then echo "failing tests per mutant: $kills"; fi
if [ ${#errors[@]} -gt 0 ]; then
  echo "ERROR: ${#errors[@]} mutants of the list did not apply or compile: ${errors[*]}"
  exit 2
fi

#!/usr/bin/env python3
"""Measures the test suite by the faults it catches.

Each entry below is a realistic mistake in the program: an exact snippet of a
source file and what it is replaced with. The script copies the tree to a
scratch folder outside the repository, configures and builds the tests there
once, then per fault: applies it, rebuilds only the test executables, runs
CTest with --stop-on-failure, restores the file and records the result:

  CAUGHT       a test failed (or the suite hung past the timeout)
  MISSED       every test passed: the suite does not see this fault
  BUILD-ERROR  the faulty tree did not compile: the entry itself is wrong
  BAD-ENTRY    the snippet is missing from the file or occurs more than once

Usage:
  scripts/inject-faults.py                 all faults
  scripts/inject-faults.py --only a,b      just these ids
  scripts/inject-faults.py --list          print the faults and check snippets
  scripts/inject-faults.py --jobs 2        build jobs (default 2)
"""

import argparse
import hashlib
import os
import re
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

# (id, file under src/, snippet, replacement, what goes wrong)
FAULTS = [
    # --- PlayerWindow.cpp: playback rules
    ("pw-play-bound", "PlayerWindow.cpp",
     "if (index < 0 || index >= count)\n        return;",
     "if (index < 0 || index > count)\n        return;",
     "playTrack accepts the row one past the end"),
    ("pw-prev-history-top", "PlayerWindow.cpp",
     "currentIndex = playHistory.pop();",
     "currentIndex = playHistory.top();",
     "shuffled previous never walks back further than one track"),
    ("pw-next-last", "PlayerWindow.cpp",
     "    if (currentIndex < count - 1) {\n        playHistory.push(currentIndex);\n"
     "        ++currentIndex;\n        shuffle->setToolTip(tr(\"Shuffle: Off\"));",
     "    if (currentIndex < count) {\n        playHistory.push(currentIndex);\n"
     "        ++currentIndex;\n        shuffle->setToolTip(tr(\"Shuffle: Off\"));",
     "next on the last row moves past the end of the list"),
    ("pw-eom-track-shuffle", "PlayerWindow.cpp",
     "if (loopMode == Track) {",
     "if (loopMode == Track && !shuffleEnabled) {",
     "end of track with loop-track and shuffle picks a random row"),
    ("pw-eom-no-wrap", "PlayerWindow.cpp",
     "} else if (loopMode == List) {",
     "} else if (loopMode == Track) {",
     "loop-list does not wrap to the first row after the last"),
    ("pw-eom-finished-text", "PlayerWindow.cpp",
     "setWindowTitle(tr(\"Playing finished.\"));",
     "setWindowTitle(tr(\"Playback finished.\"));",
     "wrong title after the last track"),
    ("pw-queue-gone-stops", "PlayerWindow.cpp",
     "        updateQueueIndicators();\n        return false;\n    }\n    if (refreshBeforePlay) {",
     "        updateQueueIndicators();\n        return true;\n    }\n    if (refreshBeforePlay) {",
     "a queued file gone from the library stops playback instead of going on"),
    ("pw-shuffle-no-history", "PlayerWindow.cpp",
     "    playHistory.push(currentIndex);\n    shuffle->setToolTip(tr(\"Shuffle: On\"));",
     "    shuffle->setToolTip(tr(\"Shuffle: On\"));",
     "shuffled tracks are not recorded, previous cannot go back"),
    ("pw-loop-cycle", "PlayerWindow.cpp",
     "(loopMode + 1) % 3",
     "(loopMode + 1) % 2",
     "the loop button never reaches loop-track"),
    # --- PlayerWindow.cpp: time, volume, settings, favourites, appearance, queue
    ("pw-time-pad", "PlayerWindow.cpp",
     ".arg(totalSeconds / 60, 2, 10, QLatin1Char('0'))",
     ".arg(totalSeconds / 60)",
     "time display drops the leading zero of the minutes"),
    ("pw-volume-intdiv", "PlayerWindow.cpp",
     "static_cast<float>(value / 100.0)",
     "static_cast<float>(value / 100)",
     "integer division: any volume below 100 is silent"),
    ("pw-mute-threshold", "PlayerWindow.cpp",
     "else if (value < 33)",
     "else if (value <= 33)",
     "volume 33 shows the low-volume speaker icon"),
    ("pw-save-shuffle-key", "PlayerWindow.cpp",
     "settings.setValue(QStringLiteral(\"shuffling\"), shuffleEnabled);",
     "settings.setValue(QStringLiteral(\"shuffle\"), shuffleEnabled);",
     "shuffle saved under the wrong key, lost on restart"),
    ("pw-default-volume", "PlayerWindow.cpp",
     "vol = 50;",
     "vol = 100;",
     "wrong default volume on first start"),
    ("pw-fav-key-offset", "PlayerWindow.cpp",
     "QStringLiteral(\"fav%1\").arg(it.key())",
     "QStringLiteral(\"fav%1\").arg(it.key() + 1)",
     "favourites come back one button further on after a restart"),
    ("pw-fav-clear-text", "PlayerWindow.cpp",
     "button->setText(tr(\"Fav %1\").arg(index + 1));",
     "button->setText(tr(\"Fav %1\").arg(index));",
     "a cleared favourite button shows its number off by one"),
    ("pw-iconsize-big", "PlayerWindow.cpp",
     "} else if (size == QLatin1String(\"big\")) {",
     "} else if (size == QLatin1String(\"large\")) {",
     "the Big size choice paints normal-size icons"),
    ("pw-context-menu-flip", "PlayerWindow.cpp",
     "isInQueue ? tr(\"Remove from Queue\") : tr(\"Add to Queue\")",
     "isInQueue ? tr(\"Add to Queue\") : tr(\"Remove from Queue\")",
     "row context menu offers the opposite queue action"),
    ("pw-queue-not-active", "PlayerWindow.cpp",
     "queue->add(filePath);\n        queue->setActive(true);",
     "queue->add(filePath);",
     "queueing a track does not switch the queue on, so it never plays"),
    ("pw-queue-down-reversed", "PlayerWindow.cpp",
     "queue->moveDown(path);",
     "queue->moveUp(path);",
     "the dialog's move-down request moves the track up"),
    # --- Playlist.cpp
    ("pl-unknown-artist", "Playlist.cpp",
     "QStringLiteral(\"Unknown Artist\")",
     "QStringLiteral(\"Unknown artist\")",
     "wrong placeholder for a missing artist"),
    ("pl-notags-or", "Playlist.cpp",
     "return track.artist.isEmpty() && track.title.isEmpty();",
     "return track.artist.isEmpty() || track.title.isEmpty();",
     "a track with only one of artist or title shows its file name"),
    ("pl-indexof-skip-first", "Playlist.cpp",
     "    for (int i = 0; i < playlist.size(); ++i) {\n        if (playlist.at(i).url == url)",
     "    for (int i = 1; i < playlist.size(); ++i) {\n        if (playlist.at(i).url == url)",
     "indexOf never finds the first track"),
    ("pl-cache-keeps-missing", "Playlist.cpp",
     "if (path.isEmpty() || !QFileInfo::exists(path))",
     "if (path.isEmpty())",
     "cache entries for deleted files are loaded"),
    ("pl-scan-no-flac", "Playlist.cpp",
     "QStringLiteral(\"*.wav\"), QStringLiteral(\"*.flac\")}",
     "QStringLiteral(\"*.wav\")}",
     "the scan skips flac files"),
    ("pl-searchkey-no-album", "Playlist.cpp",
     "+ track.album + QLatin1Char(' ') + track.fileName)",
     "+ track.fileName)",
     "search no longer matches the album"),
    ("pl-update-replaces", "Playlist.cpp",
     "playlist.append(watcher->result());",
     "playlist = watcher->result();",
     "update keeps only the new files and loses the cached library"),
    # --- SearchDialog.cpp
    ("sd-plural", "SearchDialog.cpp",
     ".arg(count == 1 ? QString() : QStringLiteral(\"s\"))",
     ".arg(count <= 1 ? QString() : QStringLiteral(\"s\"))",
     "\"0 track found\" instead of \"0 tracks found\""),
    ("sd-query-case", "SearchDialog.cpp",
     "const QString q = query.trimmed().toCaseFolded();",
     "const QString q = query.trimmed();",
     "a query with capitals finds nothing"),
    ("sd-queue-mark-zero", "SearchDialog.cpp",
     "QString::number(found.value() + 1)",
     "QString::number(found.value())",
     "queue marks in the results count from 0"),
    ("sd-return-jumps", "SearchDialog.cpp",
     "        case Qt::Key_Enter:\n            playButton->click();",
     "        case Qt::Key_Enter:\n            jumpButton->click();",
     "Return in the results jumps instead of playing"),
    # --- PlayQueue.cpp
    ("pq-next-lifo", "PlayQueue.cpp",
     "return queue.dequeue();",
     "return queue.takeLast();",
     "the queue plays its newest entry first"),
    ("pq-movedown-bound", "PlayQueue.cpp",
     "if (i >= 0 && i < queue.size() - 1)",
     "if (i >= 0 && i < queue.size() - 2)",
     "the second-to-last entry cannot move down"),
    ("pq-front-unknown", "PlayQueue.cpp",
     "    if (!queue.contains(path))\n        return;\n",
     "",
     "moving an unqueued path to the front adds it"),
    ("pq-remove-one", "PlayQueue.cpp",
     "void PlayQueue::remove(const QString &path)\n{\n    queue.removeAll(path);",
     "void PlayQueue::remove(const QString &path)\n{\n    queue.removeOne(path);",
     "remove leaves duplicates of the path behind"),
    # --- QueueWidget.cpp
    ("qw-drop-reversed", "QueueWidget.cpp",
     "newOrder.append(item(row)->data(Qt::UserRole).toString());",
     "newOrder.prepend(item(row)->data(Qt::UserRole).toString());",
     "a drag and drop reports the new order reversed"),
    ("qw-short-names-path", "QueueWidget.cpp",
     ": QFileInfo(path).fileName();",
     ": path;",
     "a queued file without a name shows its full path"),
    # --- QueueDialog.cpp
    ("qd-selection-lost", "QueueDialog.cpp",
     "    queueWidget->selectItemByPath(selectedPath);\n",
     "",
     "the selection is lost when the queue is refilled"),
    ("qd-delete-clears", "QueueDialog.cpp",
     "    case Qt::Key_Delete:\n        removeButton->click();",
     "    case Qt::Key_Delete:\n        clearButton->click();",
     "Delete clears the whole queue"),
    # --- SvgIcon.cpp
    ("svg-no-tint-mask", "SvgIcon.cpp",
     "QPainter::CompositionMode_SourceIn",
     "QPainter::CompositionMode_SourceOver",
     "icons become filled squares of the theme colour"),
    ("svg-no-icon-size", "SvgIcon.cpp",
     "    button->setIconSize(size);\n",
     "",
     "buttons keep the default icon size"),
    # --- ProgressBar.cpp
    ("pb-slider-inverted", "ProgressBar.cpp",
     "event->pos().x(),\n                                                          width(), false);",
     "event->pos().x(),\n                                                          width(), true);",
     "a click on the position slider jumps to the mirrored point"),
    ("pb-slider-no-seek", "ProgressBar.cpp",
     "        emit sliderMoved(value);\n",
     "",
     "a click moves the slider but not the playback position"),
    # --- AboutDialog.cpp
    ("ad-isc-path", "AboutDialog.cpp",
     "QStringLiteral(\":/licenses/LICENSES/ISC.txt\")",
     "QStringLiteral(\":/licenses/ISC.txt\")",
     "the ISC licence text is missing from the About dialog"),
    # --- faults once shipped and mended: each must stay caught
    ("fx-wav-info", "Playlist.cpp",
     'track.title = field("TITLE", tag ? tag->title() : TagLib::String());',
     'track.title = toQString(tag ? tag->title() : TagLib::String());',
     "a WAV's title in its RIFF INFO chunk is ignored"),
    ("fx-mark-stripped", "PlayerWindow.cpp",
     "        QString text = mediaNames.at(row);\n",
     "        QString text = mediaNames.at(row);\n"
     "        if (text.startsWith(QLatin1Char('['))) text = text.section(QStringLiteral(\"] \"), 1);\n",
     "a real \"[01]\" at the start of a name is taken for a queue mark"),
    ("fx-marks-stale-up", "PlayerWindow.cpp",
     "        queue->moveUp(path);\n        updateQueueIndicators();\n",
     "        queue->moveUp(path);\n        refillQueueDialog();\n",
     "moving up in the queue dialog leaves the old marks in the track list"),
    ("fx-marks-stale-install", "PlayerWindow.cpp",
     "    searchDialog->refreshResults();\n    updateQueueIndicators();\n    selectCurrentRow();",
     "    searchDialog->refreshResults();\n    selectCurrentRow();",
     "a rebuilt track list loses the queue marks"),
    ("fx-total-32bit", "PlayerWindow.cpp",
     "    qint64 totalSeconds = 0;",
     "    int totalSeconds = 0;",
     "the queue total overflows on a damaged duration"),
    ("fx-follow-takes-click", "PlayerWindow.cpp",
     "pressed, this,\n            [this] { lastScrollTime = QDateTime::currentDateTime(); });",
     "pressed, this,\n            [] {});",
     "the follow timer takes back a row the user clicked"),
    ("fx-row-by-index", "PlayerWindow.cpp",
     "        currentPath = settings.value(QStringLiteral(\"lastPath\")).toString();",
     "        currentPath.clear();",
     "after a restart the stored row, not the stored track, is resumed"),
    ("fx-search-loses-hit", "SearchDialog.cpp",
     "                resultList->setCurrentRow(row);",
     "                resultList->setCurrentRow(-1);",
     "the search dialog loses the chosen hit when the library changes"),
    ("fx-held-slider", "PlayerWindow.cpp",
     "    if (!slider->isSliderDown())",
     "    if (true)",
     "position reports move a held seek slider"),
    ("fx-empty-favorite", "PlayerWindow.cpp",
     "        if (!player->source().isEmpty()) {",
     "        if (true) {",
     "an armed favourite click with nothing loaded stores an empty favourite"),
    ("fx-unmute-to-zero", "PlayerWindow.cpp",
     "volume->setValue(previousVolume > 0 ? previousVolume : 50);",
     "volume->setValue(previousVolume);",
     "unmuting after a muted restart stays silent"),
    ("fx-loop-unknown", "PlayerWindow.cpp",
     "loopMode = stored >= Off && stored <= Track ? static_cast<LoopMode>(stored) : Off;",
     "loopMode = static_cast<LoopMode>(stored);",
     "a stored loop mode outside 0 to 2 leaves the loop button blank"),
    ("fx-cache-failure-hidden", "PlayerWindow.cpp",
     "    if (cacheSaveFailed)\n        updateStatusLabel(tr(\"Failed to save playlist cache.\"), 10);\n    else\n",
     "    if (false)\n        updateStatusLabel(tr(\"Failed to save playlist cache.\"), 10);\n    else\n",
     "a failed cache save is hidden by the ready message"),
]

HANG = re.compile(r"Test function timed out|\*\*\*Timeout|\*\*\*Exception")
COPIED = ["src", "resources", "packaging", "tests", "bench", "CMakeLists.txt"]
ROOT = Path(__file__).resolve().parent.parent


def check_entry(tree, fault):
    """Returns the file text when the snippet occurs exactly once, else an error text."""
    _, name, snippet, _, _ = fault
    path = tree / "src" / name
    if not path.is_file():
        return None, f"file src/{name} not found"
    text = path.read_text(encoding="utf-8")
    n = text.count(snippet)
    if n == 0:
        return None, "snippet not found"
    if n > 1:
        return None, f"snippet ambiguous ({n} matches)"
    return text, None


def sync_tree(scratch):
    """Copies the build inputs, writing only files that changed so the build stays incremental."""
    wanted = set()
    for top in COPIED:
        src = ROOT / top
        files = [src] if src.is_file() else [p for p in src.rglob("*") if p.is_file()]
        for f in files:
            rel = f.relative_to(ROOT)
            wanted.add(rel)
            dst = scratch / rel
            data = f.read_bytes()
            if dst.is_file() and dst.read_bytes() == data:
                continue
            dst.parent.mkdir(parents=True, exist_ok=True)
            dst.write_bytes(data)
            shutil.copymode(f, dst)
    for top in COPIED:
        dst_top = scratch / top
        if dst_top.is_dir():
            for p in dst_top.rglob("*"):
                if p.is_file() and p.relative_to(scratch) not in wanted:
                    p.unlink()


def run(cmd, log, timeout=None, cwd=None):
    """Runs cmd in its own process group, appending output to log; returns (rc, output)."""
    proc = subprocess.Popen(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            text=True, start_new_session=True)
    try:
        out, _ = proc.communicate(timeout=timeout)
        rc = proc.returncode
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        out, _ = proc.communicate()
        rc = None
    except BaseException:
        os.killpg(proc.pid, signal.SIGKILL)
        proc.wait()
        raise
    with open(log, "a", encoding="utf-8") as f:
        f.write(f"$ {' '.join(cmd)}\n{out}\n")
    return rc, out


def first_failure(output):
    """The first failing test and, when Qt Test says so, its function."""
    test = None
    m = re.search(r"Test\s+#\d+: (\S+) \.+\s*\*{0,3}(Failed|Timeout|Exception|SEGFAULT|Subprocess)",
                  output)
    if m:
        test = m.group(1)
    fn = re.search(r"^FAIL!\s+:\s+\S+::(\S+?)\(", output, re.M)
    if test and fn:
        return f"{test} ({fn.group(1)})"
    return test or "?"


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--only", help="comma-separated fault ids")
    ap.add_argument("--list", action="store_true", help="print the faults, check their snippets, and exit")
    ap.add_argument("--jobs", type=int, default=2, help="build and test jobs (default 2)")
    ap.add_argument("--timeout", type=int, default=600, help="seconds for one ctest run (default 600)")
    ap.add_argument("--scratch", help="scratch folder (default $TMPDIR/corvel-faults-<hash>)")
    ap.add_argument("--skip-clean-run", action="store_true",
                    help="do not check first that the unchanged tree passes")
    args = ap.parse_args()

    faults = FAULTS
    ids = [f[0] for f in FAULTS]
    if len(set(ids)) != len(ids):
        sys.exit("duplicate fault ids")
    if args.only:
        wanted = [s.strip() for s in args.only.split(",") if s.strip()]
        unknown = [w for w in wanted if w not in ids]
        if unknown:
            sys.exit(f"unknown fault ids: {', '.join(unknown)}")
        faults = [f for f in FAULTS if f[0] in wanted]

    if args.list:
        bad = 0
        for f in faults:
            _, err = check_entry(ROOT, f)
            bad += err is not None
            print(f"{f[0]:<26} {f[1]:<18} {f[4]}" + (f"   [BAD-ENTRY: {err}]" if err else ""))
        print(f"{len(faults)} faults, {bad} bad entries")
        return 1 if bad else 0

    tmp = Path(os.environ.get("TMPDIR", "/tmp"))
    tag = hashlib.sha1(str(ROOT).encode()).hexdigest()[:8]
    scratch = Path(args.scratch) if args.scratch else tmp / f"corvel-faults-{tag}"
    tree = scratch / "tree"
    build = scratch / "build"
    log = scratch / "log.txt"
    tree.mkdir(parents=True, exist_ok=True)
    log.write_text("")
    print(f"scratch: {scratch} (full output in {log})", flush=True)

    # Termination is handled like Ctrl-C, so the finally block below restores
    # the faulty file either way.
    def interrupted(*_):
        raise KeyboardInterrupt
    signal.signal(signal.SIGTERM, interrupted)

    sync_tree(tree)
    tests = sorted(p.stem for p in (tree / "tests").glob("test_*.cpp"))
    if not (build / "CMakeCache.txt").is_file():
        cmd = ["cmake", "-S", str(tree), "-B", str(build), "-G", "Ninja",
               "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DBUILD_TESTING=ON"]
        if shutil.which("ccache"):
            cmd.append("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
        rc, out = run(cmd, log)
        if rc != 0:
            sys.exit(f"configure failed:\n{out[-3000:]}")
    build_cmd = ["cmake", "--build", str(build), "-j", str(args.jobs), "--target", *tests]
    ctest_cmd = ["ctest", "--test-dir", str(build), "--stop-on-failure", "--output-on-failure",
                 "-j", str(args.jobs), "--timeout", str(args.timeout)]
    os.environ["QT_QPA_PLATFORM"] = "offscreen"

    t0 = time.monotonic()
    rc, out = run(build_cmd, log)
    if rc != 0:
        sys.exit(f"the unchanged tree does not build:\n{out[-3000:]}")
    print(f"clean build: {time.monotonic() - t0:.0f}s", flush=True)
    if not args.skip_clean_run:
        t0 = time.monotonic()
        rc, out = run(ctest_cmd, log, timeout=args.timeout + 60)
        if rc is None or (rc != 0 and HANG.search(out)):
            rc, out = run(ctest_cmd, log, timeout=args.timeout + 60)
        if rc != 0:
            sys.exit(f"the unchanged tree fails its tests ({first_failure(out or '')}); fix that first")
        print(f"clean test run: {time.monotonic() - t0:.0f}s", flush=True)

    rows = []
    try:
        for fault in faults:
            fid, name, snippet, replacement, _ = fault
            path = tree / "src" / name
            text, err = check_entry(tree, fault)
            if err:
                rows.append((fid, name, "BAD-ENTRY", err, 0.0))
                print(f"{fid}: BAD-ENTRY ({err})", flush=True)
                continue
            t0 = time.monotonic()
            try:
                path.write_text(text.replace(snippet, replacement), encoding="utf-8")
                with open(log, "a", encoding="utf-8") as f:
                    f.write(f"\n===== {fid}\n")
                rc, out = run(build_cmd, log)
                if rc != 0:
                    err_line = next((l for l in out.splitlines() if "error:" in l), "compile error")
                    result, detail = "BUILD-ERROR", err_line.strip()[:80]
                else:
                    rc, out = run(ctest_cmd, log, timeout=args.timeout + 60)
                    # The playback backend now and then deadlocks a test on its
                    # own; a hang or crash counts only when it happens twice.
                    if rc is None or (rc != 0 and HANG.search(out)):
                        rc, out = run(ctest_cmd, log, timeout=args.timeout + 60)
                    if rc is None:
                        result, detail = "CAUGHT", "timeout"
                    elif rc != 0:
                        result, detail = "CAUGHT", first_failure(out)
                    else:
                        result, detail = "MISSED", ""
            finally:
                path.write_text(text, encoding="utf-8")
            secs = time.monotonic() - t0
            rows.append((fid, name, result, detail, secs))
            print(f"{fid}: {result} {detail} [{secs:.0f}s]", flush=True)
    except KeyboardInterrupt:
        print("\ninterrupted; the scratch tree is restored", flush=True)

    print()
    print(f"{'id':<26} {'file':<18} {'result':<11} {'time':>5}  first failing test")
    for fid, name, result, detail, secs in rows:
        print(f"{fid:<26} {name:<18} {result:<11} {secs:>4.0f}s  {detail}")
    caught = sum(r[2] == "CAUGHT" for r in rows)
    broken = sum(r[2] in ("BUILD-ERROR", "BAD-ENTRY") for r in rows)
    print(f"caught {caught} of {len(rows)}" + (f" ({broken} broken entries)" if broken else ""))
    return 0 if broken == 0 else 1


if __name__ == "__main__":
    sys.exit(main())

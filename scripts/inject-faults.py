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
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

# (id, file under src/ (folder/name), snippet, replacement, what goes wrong)
FAULTS = [
    # --- PlayOrder.cpp: what plays next
    ("po-current-bound", "playback/PlayOrder.cpp",
     "if (row < 0 || row >= paths.size())\n        return false;",
     "if (row < 0 || row > paths.size())\n        return false;",
     "a row one past the end becomes current"),
    ("po-prev-history-top", "playback/PlayOrder.cpp",
     "return setCurrent(played.takeLast()) ? current : -1;",
     "return setCurrent(played.last()) ? current : -1;",
     "shuffled previous never walks back further than one track"),
    ("po-next-last", "playback/PlayOrder.cpp",
     "    if (current < n - 1) {\n        played.append(current);",
     "    if (current < n) {\n        played.append(current);",
     "next on the last row moves past the end of the list"),
    ("po-eom-track-shuffle", "playback/PlayOrder.cpp",
     "if (reason == Reason::EndOfTrack && loop == Track) {",
     "if (reason == Reason::EndOfTrack && loop == Track && !shuffleOn) {",
     "end of track with loop-track and shuffle picks a random row"),
    ("po-eom-no-wrap", "playback/PlayOrder.cpp",
     "if (reason == Reason::EndOfTrack && loop == List && n > 0) {",
     "if (reason == Reason::EndOfTrack && loop == Track && n > 0) {",
     "loop-list does not wrap to the first row after the last"),
    ("po-next-wraps", "playback/PlayOrder.cpp",
     "if (reason == Reason::EndOfTrack && loop == List && n > 0) {",
     "if (loop == List && n > 0) {",
     "the next button wraps to the first row with loop-list on"),
    ("po-shuffle-no-history", "playback/PlayOrder.cpp",
     "        played.append(current);\n        setCurrent(pick);",
     "        setCurrent(pick);",
     "shuffled tracks are not recorded, previous cannot go back"),
    ("po-shuffle-same-row", "playback/PlayOrder.cpp",
     "while (pick == current && n > 1)",
     "while (false)",
     "shuffle may pick the track that just played"),
    ("po-loop-cycle", "playback/PlayOrder.cpp",
     "LoopMode((mode + 1) % 3)",
     "LoopMode((mode + 1) % 2)",
     "the loop button never reaches loop-track"),
    ("po-loop-unknown", "playback/PlayOrder.cpp",
     "const LoopMode known = mode >= Off && mode <= Track ? LoopMode(mode) : Off;",
     "const LoopMode known = LoopMode(mode);",
     "a loop mode outside 0 to 2 is taken as it is"),
    ("po-restore-by-row", "playback/PlayOrder.cpp",
     "    if (found != -1)\n        current = found;",
     "    if (false)\n        current = found;",
     "after a restart the stored row, not the stored track, is resumed"),
    ("po-history-rows-kept", "playback/PlayOrder.cpp",
     "        if (now != -1)\n            kept.append(now);",
     "        if (now != -1)\n            kept.append(row);",
     "a new library leaves the shuffle history pointing at the old rows"),
    ("po-resume-kept", "playback/PlayOrder.cpp",
     "    currentFile = paths.at(row);\n    resume = false;",
     "    currentFile = paths.at(row);",
     "after a start, play/pause still jumps back to the last run's track"),
    # --- PlayerController.cpp: the transport
    ("pc-queue-gone-stops", "playback/PlayerController.cpp",
     "return false; // a file that left the library",
     "return true; // a file that left the library",
     "a queued file gone from the library stops playback instead of going on"),
    ("pc-queue-ignored-at-end", "playback/PlayerController.cpp",
     "    if (startQueued())\n        return;",
     "    if (reason == PlayOrder::Reason::Next && startQueued())\n        return;",
     "the queue is skipped when a track ends"),
    ("pc-volume-intdiv", "playback/PlayerController.cpp",
     "return float(std::min(1.0, percent / 100.0 * gainFactor));",
     "return float(std::min(1.0, int(percent) / 100 * gainFactor));",
     "integer division: any volume below 100 is silent"),
    ("pc-volume-repeats", "playback/PlayerController.cpp",
     "    if (clamped == percent)\n        return;",
     "",
     "the volume is announced again when it did not change"),
    ("pc-unmute-to-zero", "playback/PlayerController.cpp",
     "setVolume(audible > 0 ? audible : 50);",
     "setVolume(audible);",
     "unmuting after a muted restart stays silent"),
    ("pc-error-keeps-playing", "playback/PlayerController.cpp",
     "    backend->stop();\n    announceState();\n    emit playbackError(name, error);",
     "    emit playbackError(name, error);",
     "a file that cannot be played leaves the player claiming to play"),
    ("pc-loops-unplayed", "playback/PlayerController.cpp",
     "if (!played && backend->duration() <= 0) {",
     "if (false) {",
     "a track that ends without playing is looped for ever"),
    ("pc-loop-row-not-file", "playback/PlayerController.cpp",
     "&& library->tracks()->at(order.currentRow()) != requested) {",
     "&& false) {",
     "loop current track repeats the current row, not the file outside the library that played"),
    ("pc-seek-too-early", "playback/PlayerController.cpp",
     "|| !backend->isSeekable() || backend->duration() <= 0)",
     "|| !backend->isSeekable())",
     "a jump right after a track change is handed to a backend that drops it"),
    ("pc-error-no-skip", "playback/PlayerController.cpp",
     "    if (++unplayedInARow < 2)\n        advance(PlayOrder::Reason::Next);",
     "",
     "a track that cannot be played leaves the player stopped instead of going on"),
    ("pc-resume-ignored", "playback/PlayerController.cpp",
     "if (order.resumePending() && order.setCurrent(order.currentRow())) {",
     "if (false && order.setCurrent(order.currentRow())) {",
     "the first play/pause press after a start does not resume the last track"),
    ("pc-shuffle-repeats", "playback/PlayerController.cpp",
     "    if (order.setShuffle(on))\n        emit shuffleChanged(on);",
     "    order.setShuffle(on);\n    emit shuffleChanged(on);",
     "shuffle is announced again when it did not change"),
    ("pc-seek-silent", "playback/PlayerController.cpp",
     "    backend->setPosition(ms);\n    emit seeked(ms);",
     "    backend->setPosition(ms);",
     "a seek is not announced"),
    ("pc-install-ignored", "playback/PlayerController.cpp",
     "    order.setLibrary(library->tracks()->knownFilePaths(), moved);\n",
     "",
     "a new library leaves the current row where it was"),
    ("pc-unplayed-never-reset", "playback/PlayerController.cpp",
     "            played = true;\n            unplayedInARow = 0;",
     "            played = true;",
     "a track that played does not break a run of unplayable ones, so a later failure stops"),
    ("pc-start-counts-as-played", "playback/PlayerController.cpp",
     "        if (ms > 0) {\n            played = true;",
     "        if (ms >= 0) {\n            played = true;",
     "a track that only reported its start counts as played and is looped for ever"),
    ("pc-seek-outlives-track", "playback/PlayerController.cpp",
     "    played = false;\n    pendingSeek = -1;",
     "    played = false;",
     "a jump asked for just before the track changed is made in the next track"),
    # --- QueueController.cpp: the queue and its views
    ("qc-not-active", "playback/QueueController.cpp",
     "        queue.add(path);\n        queue.setActive(true);",
     "        queue.add(path);",
     "queueing a track does not switch the queue on, so it never plays"),
    ("qc-takenext-inactive", "playback/QueueController.cpp",
     "if (!queue.isActive() || queue.isEmpty())",
     "if (queue.isEmpty())",
     "a queue that was cleared off still plays what was added later"),
    ("qc-mark-zero", "playback/QueueController.cpp",
     "marks.insert(row, i + 1);",
     "marks.insert(row, i);",
     "queue marks count from 0"),
    ("qc-mark-last-wins", "playback/QueueController.cpp",
     "if (row != -1 && !marks.contains(row))",
     "if (row != -1)",
     "a track queued twice is marked where it plays last"),
    ("qc-moveup-silent", "playback/QueueController.cpp",
     "    change([&] { queue.moveUp(path); });",
     "    queue.moveUp(path);",
     "moving up in the queue dialog leaves the old marks in the track list"),
    ("qc-total-32bit", "playback/QueueController.cpp",
     "    qint64 total = 0;",
     "    int total = 0;",
     "the queue total overflows on a damaged duration"),
    ("qc-summary-inactive", "playback/QueueController.cpp",
     "if (queue.isActive() && !queue.isEmpty())\n        text +=",
     "if (!queue.isEmpty())\n        text +=",
     "the status line counts a queue that is switched off"),
    ("qc-clear-stays-on", "playback/QueueController.cpp",
     "        queue.clear();\n        queue.setActive(false);",
     "        queue.clear();",
     "clearing the queue leaves it switched on"),
    # --- TimeText.cpp: the time texts
    ("time-length-pads-minutes", "library/TimeText.cpp",
     ".arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'))",
     ".arg(seconds / 60, 2, 10, QLatin1Char('0')).arg(seconds % 60, 2, 10, QLatin1Char('0'))",
     "a track's length is recorded and cached as 00:59 instead of 0:59"),
    ("time-total-hour-late", "library/TimeText.cpp",
     "    if (h > 0)\n",
     "    if (h > 1)\n",
     "the queue total of an hour and some minutes leaves the hour out"),
    # --- SettingsStore.cpp: settings and favourites
    ("ss-shuffle-key", "library/SettingsStore.cpp",
     'const QString shuffleKey = QStringLiteral("shuffling");',
     'const QString shuffleKey = QStringLiteral("shuffle");',
     "shuffle saved under the wrong key, lost on restart"),
    ("ss-default-volume", "library/SettingsStore.cpp",
     "    if (!ok || std::isnan(stored))\n        return 50;",
     "    if (!ok || std::isnan(stored))\n        return 100;",
     "wrong default volume on first start"),
    ("ss-volume-unclamped", "library/SettingsStore.cpp",
     "return std::clamp(stored, 0.0f, 100.0f);",
     "return stored;",
     "a stored volume above 100 or below 0 is used as it is"),
    ("ss-loop-unknown", "library/SettingsStore.cpp",
     "return stored >= 0 && stored <= 2 ? stored : 0;",
     "return stored;",
     "a stored loop mode outside 0 to 2 is read as it is"),
    ("ss-fav-key-offset", "library/SettingsStore.cpp",
     'const QString group = QStringLiteral("fav%1/").arg(it.key());',
     'const QString group = QStringLiteral("fav%1/").arg(it.key() + 1);',
     "favourites come back one button further on after a restart"),
    ("ss-fav-empty-url", "library/SettingsStore.cpp",
     "        if (url.isEmpty())\n            continue;\n",
     "",
     "a stored favourite without an address fills a button"),
    ("ss-fav-not-cleared", "library/SettingsStore.cpp",
     "    settings->remove(QString());\n",
     "",
     "a cleared favourite comes back after a restart"),
    # --- Library.cpp: refresh, update, cache saves
    ("lib-no-scan-started", "library/Library.cpp",
     "    emit scanStarted();\n    emit status(tr(\"Refreshing playlist...\"), 0);\n    watchFolder();",
     "    emit status(tr(\"Refreshing playlist...\"), 0);\n    watchFolder();",
     "a full scan of the folder does not say it started"),
    ("lib-update-unsaved", "library/Library.cpp",
     "                saveCache(folder);\n                emit installed(Install::Update);",
     "                emit installed(Install::Update);",
     "new files found by an update are not written to the cache"),
    ("lib-cache-failure-hidden", "library/Library.cpp",
     'QString message = saveFailed ? tr("Failed to save playlist cache.")',
     'QString message = false ? tr("Failed to save playlist cache.")',
     "a failed cache save is hidden by the ready message"),
    ("lib-no-folder-scans", "library/Library.cpp",
     "    if (folderPath.isEmpty())\n        return;\n    // Told before the views",
     "    // Told before the views",
     "with no folder chosen a refresh says the music folder is gone"),
    # --- Playlist.cpp, TrackTable.cpp: records, scans, texts, lookups
    ("pl-unknown-artist", "library/TrackTable.cpp",
     'QStringLiteral("Unknown Artist")',
     'QStringLiteral("Unknown artist")',
     "wrong placeholder for a missing artist"),
    ("pl-notags-or", "library/TrackTable.cpp",
     "if (record.artist.isEmpty() && record.title.isEmpty())",
     "if (record.artist.isEmpty() || record.title.isEmpty())",
     "a track with only one of artist or title shows its file name"),
    ("pl-indexof-skip-first", "library/TrackTable.cpp",
     "for (int row = int(all.size()) - 1; row >= 0; --row)",
     "for (int row = int(all.size()) - 1; row > 0; --row)",
     "indexOf never finds the first track"),
    ("pl-cache-keeps-missing", "library/scan/UpdateMerge.cpp",
     "                drop(path);\n                continue;",
     "                result.records.append(record);\n                continue;",
     "records of deleted files outlive the update scan after a cache load"),
    ("pl-scan-no-flac", "library/scan/MusicFiles.cpp",
     'QLatin1String("wav"), QLatin1String("flac"),',
     'QLatin1String("wav"), QLatin1String("wav"),',
     "the scan skips flac files"),
    ("pl-searchkey-no-album", "library/TrackTable.cpp",
     "    appendSearchForm(out, record.album);\n    out += QLatin1Char(' ');\n",
     "",
     "search no longer matches the album"),
    ("tt-fold-lower", "library/TrackTable.cpp",
     "entry = {char16_t(QChar::toCaseFolded(unit)), 1};",
     "entry = {char16_t(QChar::toLower(unit)), 1};",
     "keys are lower-cased, not folded: a query with \"ß\" or \"µ\" misses what Qt's folding finds"),
    ("tt-fold-pair-split", "library/TrackTable.cpp",
     "if (QChar::isHighSurrogate(unit) && from != end && QChar::isLowSurrogate(*from)) {",
     "if (false) {",
     "letters beyond the basic plane are never folded in the keys"),
    ("pl-track-artist-unused", "library/scan/LibraryScanner.cpp",
     "        if (record.artist.isEmpty())\n            record.artist = record.trackArtist;",
     "",
     "a file that names only its track artist shows Unknown Artist"),
    ("pl-text-refilled", "library/TrackTable.cpp",
     "        .arg(record.artist.isEmpty() ? QStringLiteral(\"Unknown Artist\") : record.artist,\n"
     "            record.title.isEmpty() ? QStringLiteral(\"Unknown Title\") : record.title,\n"
     "            record.duration);",
     "        .arg(record.artist.isEmpty() ? QStringLiteral(\"Unknown Artist\") : record.artist)\n"
     "        .arg(record.title.isEmpty() ? QStringLiteral(\"Unknown Title\") : record.title)\n"
     "        .arg(record.duration);",
     "a \"%1\" in a tag is filled in again by the next field"),
    ("pl-walk-not-stopped", "library/scan/LibraryScanner.cpp",
     "if (stop.load(std::memory_order_relaxed) || overtaken())\n                    return false;",
     "if (stop.load(std::memory_order_relaxed))\n                    return false;",
     "an overtaken scan walks on to the end of its folder"),
    ("pl-update-replaces", "library/scan/UpdateMerge.cpp",
     "    for (int row = 0; row < base.count(); ++row) {",
     "    for (int row = 0; row < 0; ++row) {",
     "update keeps only the new files and loses the cached library"),
    ("fx-wav-info", "library/scan/LibraryScanner.cpp",
     'record.title = field("TITLE", tag ? tag->title() : TagLib::String());',
     'record.title = toQString(tag ? tag->title() : TagLib::String());',
     "a WAV's title in its RIFF INFO chunk is ignored"),
    ("sd-query-case", "library/Playlist.cpp",
     "return TrackTable::searchForm(query.trimmed());",
     "return query.trimmed();",
     "a query with capitals finds nothing"),
    ("pl-same-size-not-reread", "library/scan/UpdateMerge.cpp",
     "&& (record.mtime != state.mtime || record.size != state.size\n",
     "&& (record.mtime != state.mtime && record.size != state.size\n",
     "a file retagged in place (same size, new time) is never read again"),
    ("pl-old-cache-reread", "library/scan/UpdateMerge.cpp",
     "    return !stateUnknown(record, state)\n        && (record.mtime",
     "    return (record.mtime",
     "a cache without file times has every file read again (the first start after an upgrade)"),
    ("pl-gone-folder-empties", "library/scan/LibraryScanner.cpp",
     "const bool folderGone = !QFileInfo(folder).isDir();",
     "const bool folderGone = false;",
     "an update of a folder that went away installs an empty library"),
    # --- UpdateMerge.cpp, MusicFiles.cpp: the update's rule, the walk's order
    ("um-new-not-installed", "library/scan/UpdateMerge.cpp",
     "result.same = fresh.isEmpty();",
     "result.same = true;",
     "new files found by an update are dropped when no record changed"),
    ("mf-numbers-as-text", "library/scan/MusicFiles.cpp",
     "if (isDigit(a[i]) && isDigit(b[j])) {",
     "if (false && isDigit(a[i]) && isDigit(b[j])) {",
     "a folder's \"10 - Ten\" comes before its \"2 - Two\""),
    ("mf-hidden-folders-entered", "library/scan/MusicFiles.cpp",
     ": QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot;",
     ": QDir::Files | QDir::AllDirs | QDir::NoDotAndDotDot;",
     "hidden folders (.git, .Trash) are scanned"),
    # --- TrackCache.cpp: the cache text written by hand
    ("tc-quote-unescaped", "library/cache/TrackCache.cpp",
     "            case '\"':\n                put(\"\\\\\\\"\");\n                break;\n",
     "",
     "a '\"' in a tag is written bare, and the cache no longer parses"),
    ("cr-escape-dropped", "library/cache/CacheLayoutReader.cpp",
     "            pos += 4;\n            decoded += QChar(unit);\n",
     "            pos += 4;\n",
     "a \\u escape in a cached tag is read as nothing"),
    ("cr-duplicate-read", "library/cache/CacheLayoutReader.cpp",
     "if (field != Unknown && (seen & (1u << field)))\n                return false;",
     "if (false)\n                return false;",
     "a key given twice is read as its first value, where Qt reads the last"),
    ("cr-overlong-taken", "library/cache/CacheLayoutReader.cpp",
     "if (code < least || code > 0x10ffff",
     "if (code > 0x10ffff",
     "an overlong UTF-8 sequence is read as a character, where Qt refuses the cache"),
    ("cr-leading-zero", "library/cache/CacheLayoutReader.cpp",
     "if ((digits > 1 && *start == '0') || digits > 15",
     "if (digits > 15",
     "a number with a leading zero is read, where Qt refuses the cache"),
    ("cr-trailing-text", "library/cache/CacheLayoutReader.cpp",
     "    skipSpace();\n    return at == end;\n",
     "    return true;\n",
     "text after the cache's object is ignored, where Qt refuses the cache"),
    ("tc-no-mtime", "library/cache/TrackCache.cpp",
     "        if (record.mtime >= 0) {\n            member(\"mtime\", false);\n            writer.number(record.mtime);\n        }\n",
     "",
     "the cache loses the file times: files changed while the player was off are not read again"),
    # --- PlayerWindow.cpp and the units it is built of: what the window wires and paints
    ("pw-finished-text", "ui/PlayerWindow.cpp",
     'setWindowTitle(tr("Playing finished."));',
     'setWindowTitle(tr("Playback finished."));',
     "wrong title after the last track"),
    ("pw-time-pad", "library/TimeText.cpp",
     ".arg(totalSeconds / 60, 2, 10, QLatin1Char('0'))",
     ".arg(totalSeconds / 60)",
     "time display drops the leading zero of the minutes"),
    ("pw-mute-threshold", "ui/widgets/PlayerControls.cpp",
     "percent < 33",
     "percent <= 33",
     "volume 33 shows the low-volume speaker icon"),
    ("pw-iconsize-big", "ui/Theme.cpp",
     '    else if (size == QLatin1String("big"))',
     '    else if (size == QLatin1String("large"))',
     "the Big size choice paints normal-size icons"),
    ("pw-context-menu-flip", "ui/PlayerWindow.cpp",
     'playQueue->contains(path) ? tr("Remove from Queue") : tr("Add to Queue")',
     'playQueue->contains(path) ? tr("Add to Queue") : tr("Remove from Queue")',
     "row context menu offers the opposite queue action"),
    ("pw-queue-down-reversed", "ui/PlayerWindow.cpp",
     "&QueueDialog::moveDownRequested, playQueue, &QueueController::moveDown);",
     "&QueueDialog::moveDownRequested, playQueue, &QueueController::moveUp);",
     "the dialog's move-down request moves the track up"),
    ("pw-shortcut-swapped", "ui/PlayerWindow.cpp",
     "createShortcut(QKeySequence(Qt::CTRL | Qt::Key_Right), [this] { player->next(); });",
     "createShortcut(QKeySequence(Qt::CTRL | Qt::Key_Right), [this] { player->previous(); });",
     "Ctrl+Right goes back a track"),
    ("pw-style-menu", "ui/widgets/PlayerMenuBar.cpp",
     '{setBlue, QStringLiteral("blue")}',
     '{setBlue, QStringLiteral("green")}',
     "the Blue entry of the style menu paints green"),
    ("pw-status-timer-per-message", "ui/widgets/StatusLine.cpp",
     "        messageShown.start();\n        timer->start(messageLeft);",
     "        messageShown.start();\n        QTimer::singleShot(messageLeft, this, &StatusLine::expired);",
     "an older message's timer cuts a newer message short"),
    ("pw-raise-minimised", "ui/PlayerWindow.cpp",
     "    setWindowState(windowState() & ~Qt::WindowMinimized);\n",
     "",
     "a bus client's Raise leaves a minimised window minimised"),
    ("pw-install-marks-lost", "library/TrackModel.cpp",
     "    shown.clear();\n    marks = queue->marksByRow();\n",
     "    shown.clear();\n",
     "a rebuilt track list shows the queue marks on the rows they had in the old library"),
    ("pw-held-slider", "ui/widgets/PlayerControls.cpp",
     "    if (!slider->isSliderDown())",
     "    if (true)",
     "position reports move a held seek slider"),
    ("pw-empty-favorite", "app/PlayerCore.cpp",
     "    if (track.url.isEmpty())\n        return false;\n",
     "",
     "an armed favourite click with nothing loaded stores an empty favourite"),
    ("pw-volume-slider-rounds", "ui/widgets/PlayerControls.cpp",
     "        const QSignalBlocker blocker(volume);\n",
     "",
     "showing a fractional volume sets the player back to a whole number"),
    # --- TrackModel.cpp, TrackList.cpp: rows, marks, keys, follow
    ("tl-reset-loses-current", "ui/widgets/TrackList.cpp",
     "    if (row >= 0)\n        setCurrentRow(row);\n    // Making it current",
     "    // Making it current",
     "a new library moves the current row off the file the user had chosen"),
    ("tl-reset-scrolls", "ui/widgets/TrackList.cpp",
     "    verticalScrollBar()->setValue(scrolledTo);\n",
     "",
     "a new library scrolls the list away from where the user had it"),
    ("tl-mark-stripped", "library/TrackModel.cpp",
     "const QString text = records->textAt(record);",
     "const QString text = records->textAt(record).section(QStringLiteral(\"] \"), -1);",
     "a real \"[01]\" at the start of a name is taken for a queue mark"),
    ("tm-last-row-hidden", "library/TrackModel.cpp",
     "return all ? allRows : int(shown.size());",
     "return all ? allRows - 1 : int(shown.size());",
     "the track list never shows the library's last record"),
    ("tm-marks-row-above", "library/TrackModel.cpp",
     "emit dataChanged(index(row), index(row), {Qt::DisplayRole});",
     "emit dataChanged(index(row - 1), index(row - 1), {Qt::DisplayRole});",
     "a changed queue mark repaints the row above instead of its own"),
    ("tm-new-marks-silent", "library/TrackModel.cpp",
     "    for (auto it = now.cbegin(); it != now.cend(); ++it) {\n"
     "        if (!before.contains(it.key()))\n            announce(it.key());\n    }\n",
     "",
     "a newly queued row is not repainted with its mark"),
    ("tl-follow-takes-click", "ui/widgets/TrackList.cpp",
     "connect(this, &QAbstractItemView::pressed, this, [this] { hold(); });",
     "connect(this, &QAbstractItemView::pressed, this, [] {});",
     "the follow timer takes back a row the user clicked"),
    ("tl-follow-early", "ui/widgets/TrackList.cpp",
     "lastScrollTime.secsTo(QDateTime::currentDateTime()) > 60;",
     "lastScrollTime.secsTo(QDateTime::currentDateTime()) > 30;",
     "the list jumps back to the playing row after half a minute"),
    ("tl-return-queues", "ui/widgets/TrackList.cpp",
     "    case Qt::Key_Enter:\n        emit playRequested(currentRow());",
     "    case Qt::Key_Enter:\n        emit queueToggleRequested(currentRow());",
     "Return in the track list queues instead of playing"),
    # --- FavoriteGrid.cpp
    ("fg-clear-text", "ui/widgets/FavoriteGrid.cpp",
     'button->setText(tr("Fav %1").arg(slot + 1));',
     'button->setText(tr("Fav %1").arg(slot));',
     "a cleared favourite button shows its number off by one"),
    # --- MprisService.cpp: the desktop bus's types and units
    ("mp-position-units", "desktop/MprisService.cpp",
     "return player->position() * 1000;",
     "return player->position();",
     "the bus reports the position in milliseconds, not microseconds"),
    ("mp-volume-scale", "desktop/MprisService.cpp",
     "return int(player->volume()) / 100.0;",
     "return int(player->volume());",
     "the bus reports the volume in percent, not 0 to 1"),
    ("mp-length-units", "desktop/MprisService.cpp",
     'map.insert(QStringLiteral("mpris:length"), qlonglong(duration) * 1000);',
     'map.insert(QStringLiteral("mpris:length"), qlonglong(duration));',
     "the bus reports the length in milliseconds"),
    ("mp-artist-type", "desktop/MprisService.cpp",
     'map.insert(QStringLiteral("xesam:artist"), QStringList{track.artist});',
     'map.insert(QStringLiteral("xesam:artist"), track.artist);',
     "the bus sends the artist as a string, not a list of strings"),
    ("mp-loop-names", "desktop/MprisService.cpp",
     '    else if (status == QLatin1String("Track"))\n        player->setLoopMode(PlayOrder::Track);',
     '    else if (status == QLatin1String("Track"))\n        player->setLoopMode(PlayOrder::List);',
     "the bus's loop status Track sets loop-list"),
    ("mp-setposition-early", "desktop/MprisService.cpp",
     "if (ms < 0 || (length > 0 && ms > length))",
     "if (ms < 0 || ms > length)",
     "a bus client's SetPosition right after Next is refused"),
    # --- SearchDialog.cpp
    ("sd-plural", "ui/dialogs/SearchDialog.cpp",
     ".arg(count == 1 ? QString() : QStringLiteral(\"s\"))",
     ".arg(count <= 1 ? QString() : QStringLiteral(\"s\"))",
     "\"0 track found\" instead of \"0 tracks found\""),
    ("sd-return-jumps", "ui/dialogs/SearchDialog.cpp",
     "        case Qt::Key_Enter:\n            playButton->click();",
     "        case Qt::Key_Enter:\n            jumpButton->click();",
     "Return in the results jumps instead of playing"),
    ("sd-focus-lost", "ui/dialogs/SearchDialog.cpp",
     "    QDialog::showEvent(event);\n    // Every opening starts in the query field.\n    searchInput->setFocus();",
     "    QDialog::showEvent(event);",
     "the search dialog does not open in its query field"),
    ("sd-c-reaches-list", "ui/dialogs/SearchDialog.cpp",
     "            jumpButton->click();\n            return true;",
     "            jumpButton->click();\n            break;",
     "the C key also moves the chosen hit through the list's type-ahead"),
    ("sd-hits-unmarked", "ui/dialogs/SearchDialog.cpp",
     "    performSearch(searchInput->text());\n    hitModel->remark();\n",
     "    performSearch(searchInput->text());\n",
     "after a new library the search hits keep the queue marks of the old rows"),
    ("sd-narrows-across-install", "ui/dialogs/SearchDialog.cpp",
     "    searched.clear();\n    // Laid out whole",
     "    // Laid out whole",
     "a new library narrows the old hits, whose rows now hold other tracks"),
    ("pw-shuffle-state-hidden", "ui/widgets/PlayerControls.cpp",
     "    shuffle->setChecked(on);\n",
     "",
     "a screen reader cannot tell whether shuffle is on"),
    ("fx-search-loses-hit", "ui/dialogs/SearchDialog.cpp",
     "const int row = hitModel->rowOfPath(chosen);",
     "const int row = hitModel->rowOfPath(chosenPath);",
     "the search dialog loses the chosen hit when the library changes"),
    # --- PlayQueue.cpp
    ("pq-next-lifo", "playback/PlayQueue.cpp",
     "return queue.dequeue();",
     "return queue.takeLast();",
     "the queue plays its newest entry first"),
    ("pq-movedown-bound", "playback/PlayQueue.cpp",
     "if (i >= 0 && i < queue.size() - 1)",
     "if (i >= 0 && i < queue.size() - 2)",
     "the second-to-last entry cannot move down"),
    ("pq-front-unknown", "playback/PlayQueue.cpp",
     "    if (!queue.contains(path))\n        return;\n",
     "",
     "moving an unqueued path to the front adds it"),
    ("pq-remove-one", "playback/PlayQueue.cpp",
     "void PlayQueue::remove(const QString &path)\n{\n    queue.removeAll(path);",
     "void PlayQueue::remove(const QString &path)\n{\n    queue.removeOne(path);",
     "remove leaves duplicates of the path behind"),
    # --- QueueWidget.cpp, QueueDialog.cpp
    ("qw-drop-reversed", "ui/widgets/QueueWidget.cpp",
     "newOrder.append(item(row)->data(Qt::UserRole).toString());",
     "newOrder.prepend(item(row)->data(Qt::UserRole).toString());",
     "a drag and drop reports the new order reversed"),
    ("qw-short-names-path", "ui/widgets/QueueWidget.cpp",
     ": QFileInfo(path).fileName();",
     ": path;",
     "a queued file without a name shows its full path"),
    ("qd-selection-lost", "ui/dialogs/QueueDialog.cpp",
     "    queueWidget->selectItemByPath(selectedPath);\n",
     "",
     "the selection is lost when the queue is refilled"),
    ("qd-delete-clears", "ui/dialogs/QueueDialog.cpp",
     "    case Qt::Key_Delete:\n        removeButton->click();",
     "    case Qt::Key_Delete:\n        clearButton->click();",
     "Delete clears the whole queue"),
    # --- SvgIcon.cpp, ProgressBar.cpp, AboutDialog.cpp
    ("svg-no-tint-mask", "ui/SvgIcon.cpp",
     "QPainter::CompositionMode_SourceIn",
     "QPainter::CompositionMode_SourceOver",
     "icons become filled squares of the theme colour"),
    ("svg-no-icon-size", "ui/SvgIcon.cpp",
     "    button->setIconSize(size);\n",
     "",
     "buttons keep the default icon size"),
    ("pb-slider-inverted", "ui/widgets/ProgressBar.cpp",
     "width(), false);",
     "width(), true);",
     "a click on the position slider jumps to the mirrored point"),
    ("pb-slider-no-seek", "ui/widgets/ProgressBar.cpp",
     "        emit sliderMoved(value);\n",
     "",
     "a click moves the slider but not the playback position"),
    ("ad-isc-path", "ui/dialogs/AboutDialog.cpp",
     'QStringLiteral(":/licenses/LICENSES/ISC.txt")',
     'QStringLiteral(":/licenses/ISC.txt")',
     "the ISC licence text is missing from the About dialog"),
    # --- Library.cpp, FolderWatcher.cpp and its backends: the watched folder
    ("lib-sync-lost", "library/Library.cpp",
     "    if (scanning) {\n        checkAsked = true;\n        return;\n    }",
     "    if (scanning)\n        return;",
     "changes on disk while a load or scan runs are never synced"),
    ("lib-folder-gone-silent", "library/Library.cpp",
     "    connect(watcher, &FolderWatcher::folderGone, this, &Library::folderGone);\n",
     "",
     "a watched music folder that goes away is not told until the next scan"),
    ("fw-other-files-counted", "library/watcher/InotifyWatchBackend.cpp",
     "    if (!isDir && !MusicFiles::isAudioName(name))\n        return;\n",
     "",
     "the cache save and other non-audio files count as changes: every sync saves and syncs again"),
    ("fw-batching-off", "library/watcher/FolderWatcher.cpp",
     "    if (!maxDelay->isActive())\n        maxDelay->start();\n    quiet->start();\n}",
     "    flush();\n}",
     "every change on disk is its own batch: a copied album syncs once per file"),
    ("fw-reader-counted", "library/watcher/FolderWatcher.cpp",
     "        if (!written.remove(path))\n            return;\n",
     "",
     "a file opened read-write and closed unwritten (TagLib reading tags) counts as a change"),
    ("fw-portable-files-unseen", "library/watcher/PortableWatchBackend.cpp",
     "        return qHashMulti(0, entry.filePath(), entry.size(), entry.lastModified());",
     "        return 0;",
     "where QFileSystemWatcher watches, audio files coming and going in a folder are no change"),
    # --- FileResolver.cpp: what is named to open
    ("fr-suffix-inside", "library/scan/MusicFiles.cpp",
     "[&suffix](QLatin1String known) { return suffix.compare(known, Qt::CaseInsensitive) == 0; });",
     "[&suffix, &name](QLatin1String known) {\n            return !suffix.isEmpty() && name.contains(known, Qt::CaseInsensitive);\n        });",
     "a file such as notes.mp3.txt or song.flac.part is opened as audio"),
    ("fr-relative-to-process", "library/FileResolver.cpp",
     "QDir::cleanPath(workingDir.absoluteFilePath(path));",
     "QDir::cleanPath(QFileInfo(path).absoluteFilePath());",
     "a relative name is found against the process's folder, not the working directory given"),
    # --- QueueController.cpp, PlayerController.cpp, PlayerWindow.cpp, MprisService.cpp: opening files
    ("qc-putfirst-reversed", "playback/QueueController.cpp",
     "                first.insert(path);\n                order.append(path);",
     "                first.insert(path);\n                order.prepend(path);",
     "files opened together are queued in reverse order"),
    ("qc-putfirst-toggles", "playback/QueueController.cpp",
     "                first.insert(path);\n                order.append(path);",
     "                first.insert(path);\n                if (!before.contains(path))\n                    order.append(path);",
     "opening a file that is queued already takes it out of the queue"),
    ("pc-open-queues-first", "playback/PlayerController.cpp",
     "    playUrl(files.first());\n    queueNext(files.mid(1));",
     "    playUrl(files.first());\n    queueNext(files);",
     "the first file opened plays and is queued as well, so it plays twice"),
    ("pw-drop-move", "ui/FileDropTarget.cpp",
     "    if (event->possibleActions() & Qt::CopyAction)\n        return Qt::CopyAction;",
     "    if (event->possibleActions() & event->proposedAction())\n        return event->proposedAction();",
     "a drop takes the action the source proposes, a move included, so the source may delete the files"),
    ("mp-handover-first-queued", "desktop/SingleInstance.cpp",
     "for (qsizetype i = 1; i < files.size(); ++i)",
     "for (qsizetype i = 0; i < files.size(); ++i)",
     "a second start hands its first file over to play and to queue, so it plays twice"),
    ("pw-title-outside-file-name", "ui/PlayerWindow.cpp",
     "        setWindowTitle(player->nowPlaying().displayName);",
     "        setWindowTitle(tr(\"Now Playing: \") + player->source().fileName());",
     "a file outside the library titles the window with its file name, not its tags as a row does"),
    ("pw-scan-blanks-title", "ui/PlayerWindow.cpp",
     "    if (how == Library::Install::Scan)\n        showPlayingInTitle();",
     "    if (how == Library::Install::Scan)\n        setWindowTitle(tr(\"Corvel Media Player\"));",
     "a file opened at a start without a cache loses its title to the full scan"),
    ("pw-opened-row-not-shown", "ui/PlayerWindow.cpp",
     "== player->source())\n            trackList->showRow(player->currentRow());",
     "== player->source())\n            trackList->follow();",
     "a library file handed to the running player plays, but the list stays on the old row"),
    ("mp-openuri-not-opened", "desktop/MprisService.cpp",
     "    player->open({url});",
     "    player->playUrl(url);",
     "OpenUri plays the file as a plain play request: the list is not moved to its row"),
    ("si-claimed-late", "desktop/SingleInstance.cpp",
     "    owned = connection.registerService(MprisService::serviceName);",
     "    owned = !connection.interface()->isServiceRegistered(MprisService::serviceName).value();",
     "a start only looks for the bus name, which it takes once its window is built: two starts close together give two players"),
    ("main-no-answer-opens-window", "main.cpp",
     "        DesktopApp::printProblems(request.problems + QStringList{SingleInstance::noAnswerText()});\n        return EXIT_FAILURE;",
     "        return std::nullopt;",
     "a start whose hand-over timed out opens a second player"),
    ("mp-open-remote", "desktop/MprisService.cpp",
     "if (!url.isLocalFile() || !QFileInfo(url.toLocalFile()).isFile())\n        return;\n    player->open({url});",
     "if (url.isLocalFile() && !QFileInfo(url.toLocalFile()).isFile())\n        return;\n    player->open({url});",
     "a bus client's OpenUri of an http URL streams it instead of being ignored"),
    # --- PlayerController.cpp: going on where the last run stopped
    ("pc-resume-near-end", "playback/PlayerController.cpp",
     "if (std::exchange(pendingResume, false) && ms > backend->duration() - resumeEndMargin)",
     "if (std::exchange(pendingResume, false) && ms > backend->duration())",
     "a track the last run left in its last seconds resumes there and ends at once"),
    ("pc-resume-other-file", "playback/PlayerController.cpp",
     "if (at > 0 && order.currentPath() == resumeFile) {",
     "if (at > 0) {",
     "the stored position is applied to whatever track took the gone file's row"),
    ("pc-resume-stopped-kept", "playback/PlayerController.cpp",
     "    if (backend->playbackState() == QMediaPlayer::StoppedState\n        || requested",
     "    if (requested",
     "a track stopped by the user resumes mid-way at the next start"),
    # --- ReplayGain.cpp, PlayerController.cpp: the loudness correction
    ("rg-peak-ignored", "playback/ReplayGain.cpp",
     "        factor = std::min(factor, 1 / *peak);",
     "        factor = factor;",
     "a positive gain clips: the peak tag does not cap the factor"),
    ("rg-album-no-fallback", "playback/ReplayGain.cpp",
     "const bool album = mode == Mode::Album ? bool(gains.albumGain) : !gains.trackGain;",
     "const bool album = mode == Mode::Album;",
     "album mode plays a track without an album gain uncorrected instead of at its track gain"),
    ("rg-r128-no-reference", "playback/ReplayGain.cpp",
     "return q78 / 256.0 + 5;",
     "return q78 / 256.0;",
     "Opus tracks play 5 dB quieter than the rest: the R128 reference is not made up"),
    ("rg-key-case", "playback/ReplayGain.cpp",
     "    key = key.toUpper();\n",
     "",
     "the lower-case free-form gains of iTunes and foobar (m4a, wma) are not read"),
    ("pc-gain-level-unbounded", "playback/PlayerController.cpp",
     "return float(std::min(1.0, percent / 100.0 * gainFactor));",
     "return float(percent / 100.0 * gainFactor);",
     "a positive gain at full volume asks the output for more than full level"),
    ("pc-gain-after-start", "playback/PlayerController.cpp",
     "    if (silent && gainMode != ReplayGain::Mode::Off) {\n        gainFactor = 0;",
     "    if (false) {\n        gainFactor = 0;",
     "a track's first moments play at the previous track's level until its gain is read"),
    # --- the library's edges: a track that left, renames, duplicates, full disks, retags, accents
    ("po-gap-skips-one", "playback/PlayOrder.cpp",
     "following = gapRow(oldPaths, wasThere ? current + 1 : following, moved);",
     "following = gapRow(oldPaths, wasThere ? current + 2 : following, moved);",
     "Next after the playing track was deleted skips the track that followed it"),
    ("um-ctime-ignored", "library/scan/UpdateMerge.cpp",
     "\n            || (state.ctime >= 0 && record.ctime != state.ctime));",
     ");",
     "a retag that keeps size and modification time is never read again"),
    ("tc-flush-unchecked", "library/cache/TrackCache.cpp",
     "if (!writeText(file, records) || !file.flush()) {",
     "if (!writeText(file, records)) {",
     "on a full disk a small cache is replaced by an empty file and the save says it worked"),
    ("tt-composed-accent-kept", "library/TrackTable.cpp",
     "            if (QChar::category(code) == QChar::Mark_NonSpacing)\n                continue;\n",
     "",
     "an accentless query finds no composed accented letter (beyonce, Beyonc\u00e9)"),
    ("tt-combining-mark-kept", "library/TrackTable.cpp",
     "                if (QChar::category(unit) != QChar::Mark_NonSpacing)\n"
     "                    entry = {char16_t(QChar::toCaseFolded(unit)), 1};",
     "                entry = {char16_t(QChar::toCaseFolded(unit)), 1};",
     "a decomposed accent (e and a combining acute) stays in the key and misses the query"),
    ("lib-unchanged-saved", "library/Library.cpp",
     "if (playlist->table().get() != before || saveFailed)",
     "if (playlist->table() || saveFailed)",
     "an update that changed nothing writes the cache again: a read-only folder fails at every start"),
    ("lib-failed-save-not-retried", "library/Library.cpp",
     "if (playlist->table().get() != before || saveFailed)",
     "if (playlist->table().get() != before)",
     "after a failed save an update that changed nothing leaves the old cache on disk"),
    ("fw-mount-unseen", "library/watcher/FolderWatcher.cpp",
     "(!present || WatchBackend::folderId(rootPath) != rootId)",
     "!present",
     "a drive mounted over the watched (empty) mount point is never read"),
    ("si-icon-size-unknown", "ui/SvgIcon.cpp",
     "    if (size.isEmpty())",
     "    if (size.isNull())",
     "an icon is painted before the sizes are known: the start prints painter warnings"),
    ("qc-renamed-dropped", "playback/QueueController.cpp",
     "            const QString now = moved.value(path, path);\n",
     "            const QString &now = path;\n",
     "queued tracks of a renamed album folder leave the queue instead of following their files"),
    ("qc-gone-kept", "playback/QueueController.cpp",
     "            if (rowOf(now) != -1 || QFileInfo(now).isFile())\n                kept.append(now);",
     "            kept.append(now);",
     "a queued file that was deleted stays listed in the queue until its turn"),
    # --- CoverArt.cpp, CoverArtLoader.cpp, MprisService.cpp, PlayerCore.cpp: cover art
    ("ca-folder-name-case", "library/cover/CoverArt.cpp",
     "if (base.compare(names[n], Qt::CaseInsensitive) == 0\n                    && suffix.compare(suffixes[s], Qt::CaseInsensitive) == 0)",
     "if (base.compare(names[n]) == 0 && suffix.compare(suffixes[s]) == 0)",
     "Folder.JPEG or FRONT.png beside a track is not taken as its cover"),
    ("ca-folder-name-order", "library/cover/CoverArt.cpp",
     "[](const auto &a, const auto &b) { return a.first < b.first; });",
     "[](const auto &, const auto &) { return false; });",
     "with several images beside a track the first name listed wins, not cover before folder"),
    ("ca-first-picture", "library/cover/CoverArt.cpp",
     "        if (picture.front)\n            return picture.data;",
     "        if (picture.front && false)\n            return picture.data;",
     "the first embedded picture is shown even when a later one is the front cover"),
    ("ca-folder-over-embedded", "library/cover/CoverArt.cpp",
     "    art.image = embeddedCover(file);",
     "    art.image = folderCandidates(trackPath).isEmpty() ? embeddedCover(file) : QImage();",
     "an image in the folder is shown instead of the picture embedded in the track"),
    ("ca-no-allocation-limit", "library/cover/CoverArt.cpp",
     "        QImageReader::setAllocationLimit(allocationLimitMb);",
     "",
     "a picture that needs more than 64 MB to decode is decoded all the same"),
    ("ca-no-dimension-cap", "library/cover/CoverArt.cpp",
     "if (!size.isValid() || size.width() > maxSourceSide || size.height() > maxSourceSide)",
     "if (!size.isValid())",
     "a picture claiming 20000 x 20000 pixels is decoded, for half a second and more"),
    ("ca-no-byte-cap", "library/cover/CoverArt.cpp",
     "    if (bytes.isEmpty() || bytes.size() > maxBytes)",
     "    if (bytes.isEmpty())",
     "an embedded picture of any size is decoded"),
    ("ca-no-scaling", "library/cover/CoverArt.cpp",
     "        reader.setScaledSize(size.scaled(maxSide, maxSide, Qt::KeepAspectRatio));",
     "        ;",
     "a large cover is kept at its full size, in memory and on the bus"),
    ("ca-xiph-pictures-missed", "library/cover/CoverArt.cpp",
     "        if (auto *comment = dynamic_cast<TagLib::Ogg::XiphComment *>(ogg->tag()))\n            addFlac(pictures, comment->pictureList());",
     "        Q_UNUSED(ogg);",
     "the cover embedded in an Ogg Vorbis or Opus file is not found"),
    ("ca-ape-key-case", "library/cover/CoverArt.cpp",
     'find("COVER ART (FRONT)")',
     'find("Cover Art (Front)")',
     "the cover embedded in a WavPack or APE file is not found"),
    ("cl-stale-result-kept", "library/cover/CoverArtLoader.cpp",
     "                if (number == latest)\n                    announce(art);",
     "                announce(art);",
     "the cover of the previous track, read late, shows over the current one's"),
    ("mp-art-not-followed", "desktop/MprisService.cpp",
     "    connect(loader, &CoverArtLoader::coverChanged, this, &MprisService::showCoverArt);",
     "",
     "the desktop bus never hears of a cover that arrives after the track changed"),
    ("mp-stale-art-kept", "desktop/MprisService.cpp",
     "if (!cover.artUrl.isEmpty() && cover.track == track.url.toLocalFile())",
     "if (!cover.artUrl.isEmpty())",
     "a panel shows the previous track's cover with the next track until its own is read"),
    ("core-cover-not-requested", "app/PlayerCore.cpp",
     "        [this](const TrackExtras &extras) { cover->show(extras.cover); });",
     "        [](const TrackExtras &) {});",
     "the window never shows the playing track's cover"),
    # --- TrackNotifier.cpp, SleepInhibitor.cpp, SettingsStore.cpp: manners towards the desktop
    ("tn-while-active", "desktop/TrackNotifier.cpp",
     "if (!enabled || windowActive || !connection.isConnected())",
     "if (!enabled || !connection.isConnected())",
     "a track change notifies while the window is the active one"),
    ("tn-off-ignored", "desktop/TrackNotifier.cpp",
     "if (!enabled || windowActive || !connection.isConnected())",
     "if (windowActive || !connection.isConnected())",
     "notifications switched off in the menu still show"),
    ("tn-no-replaces", "desktop/TrackNotifier.cpp",
     'call << tr("Corvel Media Player") << shownId << DesktopApp::id()',
     'call << tr("Corvel Media Player") << uint(0) << DesktopApp::id()',
     "each track change adds a notification instead of replacing the one before: a pile"),
    ("tn-markup-raw", "desktop/TrackNotifier.cpp",
     '<< escapedMarkup(about.join(QStringLiteral(" — ")))',
     '<< about.join(QStringLiteral(" — "))',
     "an artist with & or < in the name breaks the notification's markup"),
    ("tn-cover-stale", "desktop/TrackNotifier.cpp",
     "if (!cover.isNull() && coverTrack == track.url)",
     "if (!cover.isNull())",
     "the next track's notification shows the cover of the track before"),
    ("tn-cover-unscaled", "desktop/TrackNotifier.cpp",
     "cover = image.width() > coverSize || image.height() > coverSize",
     "cover = false",
     "a large cover is sent to the desktop at full size"),
    ("tn-loop-notifies", "desktop/TrackNotifier.cpp",
     "    if (source == std::exchange(lastSource, source))\n        return;",
     "    lastSource = source;",
     "looping one track notifies at every repeat"),
    ("ss-notifications-default", "library/SettingsStore.cpp",
     "settings->value(notificationsKey, true).toBool()",
     "settings->value(notificationsKey, false).toBool()",
     "notifications start switched off on a fresh install"),
    ("sleep-per-track", "desktop/SleepInhibitor.cpp",
     "if (std::exchange(wanted, true) || held != Held::Nothing)",
     "if (held == Held::Asking)",
     "a new sleep inhibition is asked for with every track"),
    ("sleep-never-released", "desktop/SleepInhibitor.cpp",
     "        if (wanted && !releaseTimer.isActive())\n            releaseTimer.start();",
     "        if (false)\n            releaseTimer.start();",
     "sleep stays blocked after pause, stop or the end of the list"),
    ("sleep-no-debounce", "desktop/SleepInhibitor.cpp",
     "releaseTimer.setInterval(releaseMs);",
     "releaseTimer.setInterval(0);",
     "the stopped moment of a track change releases and asks again"),
    ("sleep-idle-too", "desktop/SleepInhibitor.cpp",
     "constexpr uint suspendFlag = 4;",
     "constexpr uint suspendFlag = 12;",
     "playing also keeps the screen from locking"),
    ("sleep-login-lock-dropped", "desktop/SleepInhibitor.cpp",
     "            lock = reply.value();\n",
     "",
     "logind's lock is closed at once, so sleep is not held off without the portal"),
    # --- The edges: sibling folders, files held open, empty mount points, runs of failures
    ("fw-open-file-flushed", "library/watcher/FolderWatcher.cpp",
     "if (walksInFlight == 0 && written.isEmpty())",
     "if (walksInFlight == 0)",
     "a batch ends while a file is still being written, which is then read half-written"),
    ("fw-sibling-forgotten", "library/watcher/InotifyWatchBackend.cpp",
     "        const QString below = path + QLatin1Char('/');",
     "        const QString below = path;",
     "a folder removed or moved away takes the watches of a sibling whose name it begins"),
    ("lib-empty-mount-empties", "library/Library.cpp",
     "    else if (QDir(folderPath).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))",
     "    else if (false)",
     "an empty folder left in place of the library's (a drive gone) empties the list"),
    ("lib-limit-told-once-ever", "library/Library.cpp",
     "    watchedFolder.clear();\n    watchLimitTold = false;\n    rescan();",
     "    watchedFolder.clear();\n    rescan();",
     "the watch limit of a newly chosen folder is not told when the last folder's was"),
    ("pc-run-outlives-user-start", "playback/PlayerController.cpp",
     "    unplayedInARow = 0;\n    if (order.setCurrent(row))",
     "    if (order.setCurrent(row))",
     "a track the user starts after two failures is not skipped when it fails too"),
    ("pc-run-outlives-previous", "playback/PlayerController.cpp",
     "void PlayerController::previous()\n{\n    unplayedInARow = 0;\n",
     "void PlayerController::previous()\n{\n",
     "the previous press after two failures does not skip a track that fails"),
    ("mp-announce-all", "desktop/MprisService.cpp",
     "        if (announced.value(it.key()) != it.value())",
     "        if (true)",
     "every property is announced with each change"),
    ("mp-announced-not-kept", "desktop/MprisService.cpp",
     "    announced = now;\n",
     "",
     "what changed once is announced again with every later change"),
    ("qc-takenext-silent", "playback/QueueController.cpp",
     "    const int row = rowOf(queue.next());\n    emit changed();",
     "    const int row = rowOf(queue.next());",
     "the queue's views still show the front after it was taken"),
    ("ss-fav-path-stored", "library/SettingsStore.cpp",
     'settings->setValue(group + QStringLiteral("url"), it.value().url.toString());',
     'settings->setValue(group + QStringLiteral("url"), it.value().url.toString(QUrl::PreferLocalFile));',
     "a favourite is stored as a bare path, which reads back wrong when it holds '#', '%' or '?'"),
    ("tt-hit-at-key-end", "library/TrackTable.cpp",
     "if (at + folded.size() < keyStarts[size_t(row) + 1]) {",
     "if (at + folded.size() < keyStarts[size_t(row) + 1] - 1) {",
     "a query that matches the very end of a row's key finds nothing there"),
    ("mf-broken-links-listed", "library/scan/MusicFiles.cpp",
     "        : QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot;",
     "        : QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::System;",
     "a dangling link in the music folder becomes a row"),
    # --- the library at 200,000 tracks: reads on every core, scoped updates, split search and save
    ("ls-scope-hidden", "library/scan/LibraryScanner.cpp",
     "return path.indexOf(QLatin1String(\"/.\"), below.size() - 1) != -1;",
     "return false;",
     "a watched change inside a hidden folder adds its files to the library"),
    ("ls-scope-link-entered", "library/scan/LibraryScanner.cpp",
     "        if (entry->isSymLink())\n            continue;\n",
     "",
     "a scoped update enters a link to a folder that the whole walk leaves alone"),
    ("um-scope-prefix", "library/scan/UpdateMerge.cpp",
     "&& (path.size() == top.size() || path.at(top.size()) == QLatin1Char('/'));",
     ";",
     "a folder whose name begins a changed folder's loses its records in a scoped update"),
    ("lib-cache-update-scoped", "library/Library.cpp",
     "            wholeCheckAsked = true;\n            scanForChanges();",
     "            scanForChanges();",
     "the update after a cache read walks only what the watcher saw"),
    ("tt-search-seam", "library/TrackTable.cpp",
     "std::lower_bound(asked, askedEnd, middle)",
     "std::upper_bound(asked, askedEnd, middle)",
     "a large table's search narrowed to given rows loses the row at the seam"),
    ("tc-chunk-footer", "library/cache/TrackCache.cpp",
     "        if (to == records.size())\n            second += ",
     "        if (to == records.size() && middle < to)\n            second += ",
     "a cache whose last step fills one chunk is written without its closing brackets"),

    # --- reads and walks of the system's own, texts shared with the library in place
    ("rs-window-offset", "library/scan/FileReadStream.cpp",
     "    const long offset = position - windowStart;",
     "    const long offset = 0;",
     "a read within the window returns the window's first bytes: tags read wrong"),
    ("rs-seek-end", "library/scan/FileReadStream.cpp",
     "p == Current ? position : size;",
     "p == Current ? position : size - 1;",
     "a seek from the end lands a byte early: tags at a file's end are missed"),
    ("mf-walkfiles-hidden", "library/scan/MusicFiles.cpp",
     "            if (name.startsWith('.'))\n                continue;\n            unsigned char type",
     "            unsigned char type",
     "the update walk takes hidden files and enters hidden folders"),
    ("mf-walkfiles-broken-link", "library/scan/MusicFiles.cpp",
     "if (entry.type == DT_LNK && (!looked || S_ISDIR(status.st_mode)))",
     "if (entry.type == DT_LNK && looked && S_ISDIR(status.st_mode))",
     "the update walk takes a broken link, which the walk leaves out"),
    ("tt-share-unequal", "library/TrackTable.cpp",
     "        if (text == keptText)\n            text = keptText;",
     "        text = keptText;",
     "a library read again keeps the old texts where the new differ"),
    ("tt-keys-not-waited", "library/TrackTable.cpp",
     "        return hits;\n    prepareSearch();\n",
     "        return hits;\n",
     "a search in a table read from the cache runs before its keys are laid out"),
    ("cr-file-halves-swapped", "library/cache/CacheLayoutReader.cpp",
     "            return std::nullopt;\n        head->append(std::move(*tail));\n        return head;",
     "            return std::nullopt;\n        tail->append(std::move(*head));\n        return tail;",
     "a large cache read from its file lists its second half first"),
    ("pl-scan-on-qt-pool", "library/Playlist.cpp",
     "    watcher->setFuture(QtConcurrent::run(&workers,\n",
     "    watcher->setFuture(QtConcurrent::run(\n",
     "a scan waits for Qt's global pool, whose threads the window paints with"),
    ("lib-stamp-ignored", "library/Library.cpp",
     "    if (!stamp.isFile() || stamp != stamped || path != stampedPath || !same)",
     "    if (!same)",
     "Update playlist keeps the list when someone changed the cache"),
]
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
    ap.add_argument("--timeout", type=int, default=180, help="seconds for one test (default 180)")
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
            print(f"{f[0]:<26} {f[1]:<34} {f[4]}" + (f"   [BAD-ENTRY: {err}]" if err else ""))
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
    if not (build / "CMakeCache.txt").is_file():
        cmd = ["cmake", "-S", str(tree), "-B", str(build), "-G", "Ninja",
               "-DCMAKE_BUILD_TYPE=RelWithDebInfo", "-DBUILD_TESTING=ON"]
        if shutil.which("ccache"):
            cmd.append("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
        rc, out = run(cmd, log)
        if rc != 0:
            sys.exit(f"configure failed:\n{out[-3000:]}")
    # What CTest runs is what is built: each test is named after its
    # executable, and a file may give more than one (the watcher's cases
    # against each backend).
    listed = subprocess.run(["ctest", "--test-dir", str(build), "--show-only=json-v1"],
                            capture_output=True, text=True, check=True).stdout
    tests = sorted(test["name"] for test in json.loads(listed)["tests"])
    build_cmd = ["cmake", "--build", str(build), "-j", str(args.jobs), "--target", *tests]
    ctest_cmd = ["ctest", "--test-dir", str(build), "--stop-on-failure", "--output-on-failure",
                 "-j", str(args.jobs), "--timeout", str(args.timeout)]
    os.environ["QT_QPA_PLATFORM"] = "offscreen"
    # A fault that makes a test function wait for ever fails it after 90 s.
    os.environ.setdefault("QTEST_FUNCTION_TIMEOUT", "90000")

    t0 = time.monotonic()
    rc, out = run(build_cmd, log)
    if rc != 0:
        sys.exit(f"the unchanged tree does not build:\n{out[-3000:]}")
    print(f"clean build: {time.monotonic() - t0:.0f}s", flush=True)
    if not args.skip_clean_run:
        t0 = time.monotonic()
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
    print(f"{'id':<26} {'file':<34} {'result':<11} {'time':>5}  first failing test")
    for fid, name, result, detail, secs in rows:
        print(f"{fid:<26} {name:<34} {result:<11} {secs:>4.0f}s  {detail}")
    caught = sum(r[2] == "CAUGHT" for r in rows)
    broken = sum(r[2] in ("BUILD-ERROR", "BAD-ENTRY") for r in rows)
    print(f"caught {caught} of {len(rows)}" + (f" ({broken} broken entries)" if broken else ""))
    return 0 if broken == 0 else 1


if __name__ == "__main__":
    sys.exit(main())

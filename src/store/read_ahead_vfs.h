// Internal to the store: an SQLite file layer that reads the database file 64
// KiB at a time and serves the pages of one transaction from that window.
// SQLite reads a page per system call, and a scan over a large store (the
// export, its count, the day numbers of an import) spends more on the calls
// than on anything else.
#pragma once

namespace nbl::store::detail {

// The name of the layer, registered with SQLite at the first call (not as the
// default), to pass to sqlite3_open_v2. It wraps the default layer: every
// other file, and every call but reads of the database file and writes to it
// and its write-ahead log, go through as they are. Those writes also have the
// system write them to the disk a few megabytes at a time (files::WriteBack),
// so that the syncs that end a transaction and a checkpoint find little left
// to write: when, not what, reaches the disk changes.
//
// Why the window is never stale: it is dropped at every lock, unlock and
// shared-memory lock (so it never outlives a transaction), at every write,
// truncation, sync and file control of the connection, and at close. Within a
// transaction no other connection changes a page of the database file this
// one reads: a rollback-journal store is held with a shared lock, and a
// write-ahead store is never checkpointed past the oldest reader's snapshot.
//
// The write-ahead log's appends are held and written in runs of up to 64 KiB:
// SQLite writes each frame as two calls, its header and its page. A run is
// written before any other call on the log reaches the default layer, before a
// write elsewhere in the log, and at the end of every commit frame (the frame
// whose header holds the store's size), inside the call that writes it, so its
// failure is the commit's and no reader is ever told of a frame not yet written.
const char* ReadAheadVfsName();

// A file control (sqlite3_file_control) that answers, in the int its argument
// points to, the descriptor the write-backs of a file are started on (Linux),
// or -1 when they are not; for tests.
inline constexpr int kWriteBackDescriptorControl = 0x4E424C31;

}  // namespace nbl::store::detail

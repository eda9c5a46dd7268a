#include "store/recordset.h"

#include <utility>

#include "common/failure.h"
#include "store/row_appender.h"
#include "store/row_reader.h"
#include "store/sqlite_handle.h"

namespace nbl::store {
namespace {

using detail::Quoted;

enum class Mode { Closed, Read, Append };

}  // namespace

struct Recordset::Impl {
  Mode mode = Mode::Closed;
  std::shared_ptr<sqlite3> db;  // keeps the connection's handle open while the record set is
  detail::RowReader reader;
  detail::RowAppender appender;

  void RequireOpen() const {
    if (mode == Mode::Closed) throw StoreFailure("the record set is closed");
  }

  // Throws unless this is a read, standing on a row when `onRow`; `what()` begins
  // the message, and is only called for one, so that a read that succeeds builds no text.
  template <typename What>
  void RequireRead(What what, bool onRow) const {
    RequireOpen();
    if (mode != Mode::Read) throw StoreFailure(what() + ": the record set only adds rows");
    if (onRow && reader.eof()) throw StoreFailure(what() + ": there is no current row");
  }

  // What SetField by name checks, for a column given by its index.
  void RequireColumn(int index) const {
    if (mode == Mode::Append && appender.Settable(index)) [[likely]]
      return;
    RequireOpen();
    if (mode != Mode::Append) throw StoreFailure("cannot set a column: the record set was opened read-only");
    appender.RefuseColumn(index);
  }

  void Close() noexcept {
    reader.Close();
    appender.Close();
    db.reset();
    mode = Mode::Closed;
  }
};

Recordset::Recordset() : impl_(std::make_unique<Impl>()) {}
Recordset::~Recordset() { impl_->Close(); }

void Recordset::Open(std::u16string_view source, Connection& connection, int cursorType, int lockType,
                     int /*options*/) {
  if (impl_->mode != Mode::Closed)
    throw StoreFailure("cannot open " + Quoted(source) + ": the record set is already open");
  if (!connection.IsOpen()) throw StoreFailure("cannot open " + Quoted(source) + ": the connection is closed");
  impl_->db = connection.shared_handle();
  try {
    if (lockType == adLockOptimistic) {
      impl_->appender.Open(impl_->db.get(), source);
      impl_->mode = Mode::Append;
    } else if (lockType == adLockReadOnly || lockType == adLockUnspecified) {
      impl_->reader.Open(impl_->db.get(), source, cursorType);
      impl_->mode = Mode::Read;
    } else {
      throw StoreFailure("cannot open " + Quoted(source) + ": unsupported lock type " + std::to_string(lockType));
    }
  } catch (...) {
    impl_->Close();
    throw;
  }
}

std::int32_t Recordset::RecordCount() const {
  impl_->RequireOpen();
  return impl_->mode == Mode::Read ? impl_->reader.recordCount() : -1;
}

bool Recordset::IsEOF() const {
  impl_->RequireOpen();
  return impl_->mode == Mode::Read ? impl_->reader.eof() : true;
}

void Recordset::MoveNext() {
  impl_->RequireOpen();
  if (impl_->mode == Mode::Append) return;
  if (impl_->reader.eof()) throw StoreFailure("cannot move past the last row");
  impl_->reader.MoveNext();
}

int Recordset::ColumnIndex(std::u16string_view name) const {
  impl_->RequireOpen();
  if (impl_->mode == Mode::Append) return impl_->appender.ColumnIndex(name);
  impl_->RequireRead([name] { return "cannot find column " + Quoted(name); }, false);
  return impl_->reader.ColumnIndex(name);
}

std::optional<std::string_view> Recordset::FieldBytes(int index) const {
  impl_->RequireRead([index] { return "cannot read column " + std::to_string(index); }, true);
  return impl_->reader.FieldBytes(index);
}

Value Recordset::Field(std::u16string_view name) const {
  impl_->RequireRead([name] { return "cannot read column " + Quoted(name); }, true);
  return impl_->reader.Field(ColumnIndex(name));
}

void Recordset::AddNew() {
  impl_->RequireOpen();
  if (impl_->mode != Mode::Append) throw StoreFailure("cannot add a row: the record set was opened read-only");
  impl_->appender.AddNew();
}

void Recordset::SetField(std::u16string_view name, Value value) {
  impl_->RequireOpen();
  if (impl_->mode != Mode::Append)
    throw StoreFailure("cannot set column " + Quoted(name) + ": the record set was opened read-only");
  if (!impl_->appender.pending()) throw StoreFailure("cannot set column " + Quoted(name) + ": no row was added");
  impl_->appender.Set(impl_->appender.ColumnIndex(name), std::move(value));
}

void Recordset::SetField(int index, Value value) {
  impl_->RequireColumn(index);
  impl_->appender.Set(index, std::move(value));
}

void Recordset::SetText(int index, std::u16string_view text) {
  impl_->RequireColumn(index);
  impl_->appender.SetText(index, text);
}

void Recordset::SetUtf8(int index, std::string_view text) {
  impl_->RequireColumn(index);
  impl_->appender.SetUtf8(index, text);
}

void Recordset::Update() {
  impl_->RequireOpen();
  if (impl_->mode != Mode::Append || !impl_->appender.pending()) throw StoreFailure("cannot update: no row was added");
  impl_->appender.Update();
}

void Recordset::Close() { impl_->Close(); }

bool Recordset::IsOpen() const { return impl_->mode != Mode::Closed; }

}  // namespace nbl::store

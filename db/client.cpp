#include "db/client.h"

#include <algorithm>

#include "core/ascii.h"
#include "core/failure.h"
#include "db/connection_text.h"
#include "db/session.h"

namespace velmora {
namespace {

StatementObserver& observer() {
  static StatementObserver instance;
  return instance;
}

// `name` against a column name already folded to lower case (column names
// are ASCII).
bool same_name(std::string_view folded_column, std::string_view name) {
  return equals_lower_ascii(name, folded_column);
}

[[noreturn]] void throw_closed() { throw object_state_failure(ObjectState::kClosed); }

}  // namespace

void set_statement_observer(StatementObserver o) { observer() = std::move(o); }

Field Fields::Item(std::string_view name) const { return Field(owner_.value_of(name)); }

Recordset::Recordset() = default;
Recordset::~Recordset() = default;

void Recordset::attach(std::unique_ptr<Cursor> cursor) {
  // Folded once for the row set, not at every field look-up.
  columns_ = cursor->columns();
  for (std::string& name : columns_)
    std::transform(name.begin(), name.end(), name.begin(), lower_ascii);
  // With a name given twice the first column of that name is meant, so the
  // look-up then always starts at the first column.
  names_unique_ = true;
  for (std::size_t i = 0; i < columns_.size() && names_unique_; ++i) {
    names_unique_ = std::find(columns_.begin() + static_cast<std::ptrdiff_t>(i) + 1, columns_.end(),
                              columns_[i]) == columns_.end();
  }
  cursor_ = std::move(cursor);
  next_column_ = 0;
  fetch();
}

void Recordset::fetch() {
  eof_ = !cursor_->next(row_);
  if (eof_) {
    // Release the database statement as soon as the rows are used up.
    cursor_.reset();
    row_.clear();
    at_end_known_open_ = true;
  }
}

void Recordset::close() noexcept {
  cursor_.reset();
  row_.clear();
  eof_ = true;
  at_end_known_open_ = false;
}

bool Recordset::Eof() const {
  if (!IsOpen()) throw_closed();
  return eof_;
}

void Recordset::MoveNext() {
  if (!IsOpen()) throw_closed();
  if (eof_) {
    throw object_state_failure(ObjectState::kNoCurrentRecord);
  }
  fetch();
}

const Value& Recordset::value_of(std::string_view name) const {
  if (!IsOpen()) throw_closed();
  const std::size_t n = columns_.size();
  for (std::size_t k = 0, i = next_column_; k < n; ++k, ++i) {
    if (i >= n) i = 0;
    if (same_name(columns_[i], name)) {
      if (eof_) {
        throw object_state_failure(ObjectState::kNoCurrentRecord);
      }
      if (names_unique_) next_column_ = i + 1;
      return row_[i];
    }
  }
  throw item_not_found(name);
}

Connection::Connection() = default;

Connection::~Connection() {
  try {
    Close();
  } catch (...) {
    // A destructor never throws; the session is gone either way.
  }
}

void Connection::Open(const std::string& connection_string) {
  if (session_) {
    throw object_state_failure(ObjectState::kOpen);
  }
  connection_string_ = connection_string;
  session_ = open_session(parse_connection_text(connection_string));
}

std::shared_ptr<Recordset> Connection::Execute(const std::string& sql) {
  if (const auto& o = observer()) o(*this, sql);
  if (!session_) throw_closed();
  auto rs = std::make_shared<Recordset>();
  if (auto cursor = session_->execute(sql)) {
    rs->attach(std::move(cursor));
    std::erase_if(recordsets_, [](const std::weak_ptr<Recordset>& w) { return w.expired(); });
    recordsets_.push_back(rs);
  }
  return rs;
}

void Connection::Close() {
  if (!session_) return;
  for (auto& weak : recordsets_) {
    if (auto rs = weak.lock()) rs->close();
  }
  recordsets_.clear();
  auto session = std::move(session_);
  session->close();
}

}  // namespace velmora

#include "microkernel/Pg.h"

#include <poll.h>

#include <chrono>
#include <cstring>

namespace vader::microkernel {
namespace {

constexpr std::chrono::milliseconds kLookInterval{1};

void AddUp(std::vector<int64_t>& sum, const std::vector<int64_t>& more) {
  if (sum.size() < more.size()) sum.resize(more.size());
  for (size_t i = 0; i < more.size(); ++i) sum[i] += more[i];
}

}  // namespace

CountDelta& CountDelta::operator+=(const CountDelta& more) {
  records += more.records;
  AddUp(entries, more.entries);
  AddUp(distinct, more.distinct);
  return *this;
}

bool PgResult::Ok() const {
  if (!r_) return false;
  const ExecStatusType s = PQresultStatus(r_);
  return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK;
}

int64_t PgResult::Int(int row, int col) const {
  const auto* p = reinterpret_cast<const uint8_t*>(PQgetvalue(r_, row, col));
  const int n = PQgetlength(r_, row, col);
  if (n != 2 && n != 4 && n != 8) return 0;
  uint64_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
  const int shift = 64 - 8 * n;
  return shift > 0 ? static_cast<int64_t>(v << shift) >> shift : static_cast<int64_t>(v);
}

std::string PgResult::SqlState() const {
  const char* s = r_ ? PQresultErrorField(r_, PG_DIAG_SQLSTATE) : nullptr;
  return s ? s : "";
}

std::string PgResult::Message() const { return r_ ? PQresultErrorMessage(r_) : "no result"; }

PgParams& PgParams::Add(const Bytes& blob) {
  values_.push_back(blob.data());
  lengths_.push_back(static_cast<int>(blob.size()));
  formats_.push_back(1);
  return *this;
}

PgParams& PgParams::Add(int64_t value) {
  auto b = std::make_unique<Bytes>(8, '\0');
  for (int i = 0; i < 8; ++i) (*b)[i] = static_cast<char>(static_cast<uint64_t>(value) >> (56 - 8 * i));
  values_.push_back(b->data());
  lengths_.push_back(8);
  formats_.push_back(1);
  owned_.push_back(std::move(b));
  return *this;
}

PgParams& PgParams::AddNull() {
  values_.push_back(nullptr);
  lengths_.push_back(0);
  formats_.push_back(1);
  return *this;
}

PgConnection::~PgConnection() {
  if (conn_) PQfinish(conn_);
}

bool PgConnection::Open(const std::string& connInfo, std::string& error) {
  conn_ = PQconnectdb(connInfo.c_str());
  if (PQstatus(conn_) != CONNECTION_OK) {
    error = PQerrorMessage(conn_);
    PQfinish(conn_);
    conn_ = nullptr;
    return false;
  }
  PQsetNoticeReceiver(conn_, &PgConnection::OnNotice, this);
  Exec("SET client_min_messages = warning");
  // A session that ends while idle takes its session locks with it: this one must not.
  Exec("SET idle_session_timeout = 0");
  return true;
}

void PgConnection::OnNotice(void* self, const PGresult* notice) {
  const char* severity = PQresultErrorField(notice, PG_DIAG_SEVERITY_NONLOCALIZED);
  if (severity && (std::strcmp(severity, "FATAL") == 0 || std::strcmp(severity, "PANIC") == 0))
    static_cast<PgConnection*>(self)->ended_ = true;
}

bool PgConnection::Alive() {
  if (Lost()) return false;
  // Asked before every call, and a call answered from rows read ahead costs less than looking
  // at the socket: what arrived is read at most every millisecond.
  const auto now = std::chrono::steady_clock::now();
  if (now - looked_ < kLookInterval) return true;
  looked_ = now;
  pollfd socket{PQsocket(conn_), POLLIN, 0};
  // Nothing is due from the server between statements: anything readable is its goodbye (read
  // and parsed, so that OnNotice sees it) or the end of the connection, which libpq records.
  for (int reads = 0; reads < 4 && !Lost() && ::poll(&socket, 1, 0) > 0; ++reads)
    if (PQconsumeInput(conn_)) PQisBusy(conn_);
  CollectAnnouncements();
  return !Lost();
}

bool PgConnection::Listen(const std::string& channel) {
  Channel& c = channels_[channel];
  if (c.listening) return true;
  if (!Exec("LISTEN " + channel).Ok()) return false;
  c.listening = true;
  ++c.announced;
  return true;
}

void PgConnection::ListenOnly(const std::set<std::string>& wanted) {
  if (Lost() || inTransaction || !Idle()) return;
  std::vector<Channel*> stopping;
  std::string unlisten;
  for (auto& [name, c] : channels_)
    if (c.listening && !wanted.count(name)) {
      unlisten += "UNLISTEN " + name + ";";
      stopping.push_back(&c);
    }
  // The answer is left for the next statement, which reads past it: the caller does not wait a
  // round trip for it.
  if (unlisten.empty() || !PQsendQuery(conn_, unlisten.c_str())) return;
  for (Channel* c : stopping) c->listening = false;
}

bool PgConnection::Idle() {
  // Answers that arrived to statements nobody waited for are read and let go.
  PQconsumeInput(conn_);
  while (!PQisBusy(conn_)) {
    PGresult* r = PQgetResult(conn_);
    if (!r) return true;
    PQclear(r);
  }
  return false;
}

uint64_t PgConnection::Announced(const std::string& channel) {
  CollectAnnouncements();
  auto it = channels_.find(channel);
  return it == channels_.end() ? 0 : it->second.announced;
}

void PgConnection::CollectAnnouncements() {
  if (!conn_) return;
  while (PGnotify* n = PQnotifies(conn_)) {
    auto it = channels_.find(n->relname);
    if (it != channels_.end()) ++it->second.announced;
    PQfreemem(n);
  }
}

PgResult PgConnection::Exec(const std::string& sql) {
  if (!conn_) return PgResult();
  return PgResult(PQexec(conn_, sql.c_str()));
}

PgResult PgConnection::Run(const std::string& sql, const PgParams& params) {
  if (!conn_) return PgResult();
  auto it = prepared_.find(sql);
  if (it == prepared_.end()) {
    const std::string name = "s" + std::to_string(++named_);
    PgResult prep(PQprepare(conn_, name.c_str(), sql.c_str(), 0, nullptr));
    if (!prep.Ok()) return prep;
    it = prepared_.emplace(sql, name).first;
  }
  return PgResult(PQexecPrepared(conn_, it->second.c_str(), params.Count(), params.values_.data(),
                                 params.lengths_.data(), params.formats_.data(), 1));
}

void PgConnection::ForgetStatements(const std::string& table) {
  for (auto it = prepared_.begin(); it != prepared_.end();) {
    if (it->first.find(table) != std::string::npos) {
      Exec("DEALLOCATE " + it->second);
      it = prepared_.erase(it);
    } else {
      ++it;
    }
  }
}

Status PgConnection::StatusOf(const PgResult& r) const {
  if (Lost()) return kSessionLost;
  if (r.Ok()) return kOk;
  const std::string state = r.SqlState();
  if (state == "23505") return kDuplicateKey;
  if (state == "53100") return kDiskFull;
  // The statement outlived the time a server call may take.
  if (state == "57014") return kSessionLost;
  if (state == "55P03" || state == "40P01" || state == "40001") return kFileLocked;
  if (state == "42P01") return kFileNotFound;
  if (state == "42501") return kAccessDenied;
  return kIoError;
}

}  // namespace vader::microkernel

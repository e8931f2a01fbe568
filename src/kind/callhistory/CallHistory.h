// Kind 4: the calls of both call-database generations, in one list: the
// older call_history.db (Unix timestamps) and the Core Data store
// CallHistory.storedata (seconds since 2001).
#ifndef KELDRA_KIND_CALLHISTORY_CALLHISTORY_H_
#define KELDRA_KIND_CALLHISTORY_CALLHISTORY_H_

#include <memory>
#include <string>

#include "common/Observer.h"
#include "kind/kind.h"

namespace keldra {

class CallHistory : public Kind {
 public:
  static constexpr char kCallDbPath[] = "Library/CallHistory/call_history.db";
  static constexpr const char* kCallStorePath = kKinds[4].database;
  // The store's statement, and the one for stores without the service
  // provider and location columns.
  static constexpr char kStoreSql[] =
      "select zname,zaddress,zdate,zoriginated,zduration,ziso_country_code,zservice_provider,"
      "zlocation from zcallrecord  order by zdate desc";
  static constexpr char kStoreFallbackSql[] =
      "select zname,zaddress,zdate,zoriginated,zduration,ziso_country_code,null,null from "
      "zcallrecord  order by zdate desc";

  CallHistory();
  ~CallHistory() override;

  void Run(const ScanContext& scan) override;

  // Appends the calls of a call_history.db; false when it does not open or
  // its statement does not prepare.
  bool ReadCallHistoryDb(const std::string& path);
  // Appends the calls `sql` selects from a CallHistory.storedata; false when
  // it does not open or the statement does not prepare.
  bool ReadCallStore(const char* sql, const std::string& path);

  const rapidjson::Document& Calls() const { return *calls_; }

 private:
  enum class Source { kCallDb, kCallStore };
  bool ReadCalls(const char* sql, const std::string& path, Source source);
  void AppendCalls(sqlite3_stmt* row, Source source);
  // Complete reading: the statement of whichever columns the table has.
  void ReadCallsOfAnyGeneration(const std::string& path, Source source, size_t watch);

  std::unique_ptr<rapidjson::Document> calls_;  // root array
  std::string callDbPath_;
  std::string callStorePath_;
  // Where complete reading finds the two databases.
  const size_t callDbWatch_ = WatchDatabase(kCallDbPath);
  const size_t callStoreWatch_ = WatchDatabase(kCallStorePath);
};

}  // namespace keldra

#endif  // KELDRA_KIND_CALLHISTORY_CALLHISTORY_H_

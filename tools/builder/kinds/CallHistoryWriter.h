// The two call databases: the older Library/CallHistory/call_history.db
// (WirelessDomain, table `call`, Unix timestamps) and the Core Data store
// Library/CallHistoryDB/CallHistory.storedata (HomeDomain, ZCALLRECORD,
// seconds since 2001) with its metadata tables.
#ifndef KELDRA_BUILDER_KINDS_CALLHISTORYWRITER_H_
#define KELDRA_BUILDER_KINDS_CALLHISTORYWRITER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "builder/kinds/SqliteWriter.h"

namespace builder {

class CallHistoryDbWriter : public DatabaseWriter {
 public:
  // flags: 4 incoming, 5 outgoing; bit 4 (16) FaceTime.
  struct Call {
    Cell address{}, date{}, duration{}, flags = 4, name{}, countryCode{}, networkCode{};
    Cell read = 1, answered = 1;
  };
  void AddCall(Call call) { calls_.push_back(std::move(call)); }

  // iOS 5 tables have no network_code column (nor read/answered).
  bool withNetworkCode = true;

  const char* Domain() const override { return "WirelessDomain"; }
  const char* RelativePath() const override { return "Library/CallHistory/call_history.db"; }

 protected:
  void Populate(SqliteDatabase& database) const override;

 private:
  std::vector<Call> calls_;
};

class CallStoreWriter : public DatabaseWriter {
 public:
  // ZORIGINATED 1 outgoing, 0 incoming; ZCALLTYPE 1 phone, 8 FaceTime video,
  // 16 FaceTime audio. Devices store ZADDRESS as text or as a blob.
  struct CallRecord {
    Cell name{}, address{}, date{}, originated = 0, duration = 0.0, isoCountryCode{},
                                    serviceProvider{}, location{};
    Cell answered = 1, callType = 1, uniqueId{};
  };
  void AddCall(CallRecord call) { calls_.push_back(std::move(call)); }

  // Stores of iOS 8 and 9 have neither column; iOS 9 has ZLOCATION alone.
  bool withServiceProvider = true;
  bool withLocation = true;

  const char* Domain() const override { return "HomeDomain"; }
  const char* RelativePath() const override {
    return "Library/CallHistoryDB/CallHistory.storedata";
  }

 protected:
  void Populate(SqliteDatabase& database) const override;

 private:
  std::vector<CallRecord> calls_;
};

}  // namespace builder

#endif  // KELDRA_BUILDER_KINDS_CALLHISTORYWRITER_H_

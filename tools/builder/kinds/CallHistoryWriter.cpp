#include "builder/kinds/CallHistoryWriter.h"

#include <cstdio>

#include "builder/BinaryPlist.h"

namespace builder {
namespace {

constexpr char kCallDbSchema[] = R"sql(
CREATE TABLE _SqliteDatabaseProperties (key TEXT, value TEXT, UNIQUE(key));
CREATE TABLE call (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, address TEXT, date INTEGER,
  duration INTEGER, flags INTEGER, id INTEGER, name TEXT, country_code TEXT%s);
CREATE INDEX date_index on call(date);
CREATE TABLE data (ROWID INTEGER PRIMARY KEY AUTOINCREMENT, pdp_ip INTEGER, bytes_rcvd REAL,
  bytes_sent REAL, bytes_last_rcvd REAL, bytes_last_sent REAL, bytes_lifetime_rcvd REAL,
  bytes_lifetime_sent REAL);
INSERT INTO _SqliteDatabaseProperties VALUES ('_ClientVersion', '%s');
INSERT INTO _SqliteDatabaseProperties VALUES ('timer_all', '0');
INSERT INTO _SqliteDatabaseProperties VALUES ('timer_incoming', '0');
INSERT INTO _SqliteDatabaseProperties VALUES ('timer_outgoing', '0');
)sql";

constexpr char kStoreSchema[] = R"sql(
CREATE TABLE ZCALLDBPROPERTIES ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
  ZTIMER_ALL FLOAT, ZTIMER_INCOMING FLOAT, ZTIMER_LAST FLOAT, ZTIMER_LIFETIME FLOAT,
  ZTIMER_OUTGOING FLOAT );
CREATE TABLE ZCALLRECORD ( Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER,
  ZANSWERED INTEGER, ZCALLTYPE INTEGER, ZDISCONNECTED_CAUSE INTEGER, ZFACE_TIME_DATA INTEGER,
  ZNUMBER_AVAILABILITY INTEGER, ZORIGINATED INTEGER, ZREAD INTEGER, ZDATE TIMESTAMP,
  ZDURATION FLOAT, ZDEVICE_ID VARCHAR, ZISO_COUNTRY_CODE VARCHAR%s, ZNAME VARCHAR%s,
  ZUNIQUE_ID VARCHAR UNIQUE, ZADDRESS BLOB );
CREATE INDEX ZCALLRECORD_ZDATE_INDEX ON ZCALLRECORD (ZDATE);
CREATE TABLE Z_PRIMARYKEY (Z_ENT INTEGER PRIMARY KEY, Z_NAME VARCHAR, Z_SUPER INTEGER,
  Z_MAX INTEGER);
CREATE TABLE Z_METADATA (Z_VERSION INTEGER PRIMARY KEY, Z_UUID VARCHAR(255), Z_PLIST BLOB);
CREATE TABLE Z_MODELCACHE (Z_CONTENT BLOB);
INSERT INTO ZCALLDBPROPERTIES VALUES (1, 1, 1, 0.0, 0.0, 0.0, 0.0, 0.0);
INSERT INTO Z_PRIMARYKEY VALUES (1, 'CallDBProperties', 0, 1);
)sql";

std::string Format(const char* pattern, const char* a, const char* b) {
  std::string out(std::char_traits<char>::length(pattern) + 256, '\0');
  int n = std::snprintf(&out[0], out.size(), pattern, a, b);
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

// The store's Core Data metadata: model version hashes and identifiers.
std::string MetadataPlist() {
  BinaryPlistWriter plist;
  BinaryPlistWriter::Ref hashes =
      plist.Dict({{plist.String("CallRecord"), plist.Data(std::string(32, '\x5a'))},
                  {plist.String("CallDBProperties"), plist.Data(std::string(32, '\xa5'))}});
  BinaryPlistWriter::Ref top = plist.Dict(
      {{plist.String("NSStoreModelVersionHashes"), hashes},
       {plist.String("NSStoreType"), plist.String("SQLite")},
       {plist.String("NSStoreUUID"), plist.String("5A0C7E1E-2D7B-4C55-9E1A-3C8D2B6F0A41")},
       {plist.String("NSPersistenceFrameworkVersion"), plist.Integer(866)}});
  std::string bytes;
  plist.Write(top, bytes);
  return bytes;
}

}  // namespace

void CallHistoryDbWriter::Populate(SqliteDatabase& database) const {
  database.Exec(Format(kCallDbSchema,
                       withNetworkCode ? ", network_code TEXT, read INTEGER, assisted INTEGER, "
                                         "face_time_data BLOB, originalAddress TEXT, "
                                         "answered INTEGER"
                                       : "",
                       withNetworkCode ? "12" : "9"));
  int64_t id = 1;
  for (const Call& c : calls_) {
    if (withNetworkCode) {
      database.Run(
          "INSERT INTO call (address, date, duration, flags, id, name, country_code, "
          "network_code, read, assisted, originalAddress, answered) "
          "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, 0, ?, ?)",
          {c.address, c.date, c.duration, c.flags, id++, c.name, c.countryCode, c.networkCode,
           c.read, c.address, c.answered});
    } else {
      database.Run(
          "INSERT INTO call (address, date, duration, flags, id, name, country_code) "
          "VALUES (?, ?, ?, ?, ?, ?, ?)",
          {c.address, c.date, c.duration, c.flags, id++, c.name, c.countryCode});
    }
  }
}

void CallStoreWriter::Populate(SqliteDatabase& database) const {
  database.Exec(Format(kStoreSchema, withLocation ? ", ZLOCATION VARCHAR" : "",
                       withServiceProvider ? ", ZSERVICE_PROVIDER VARCHAR" : ""));
  database.Run("INSERT INTO Z_PRIMARYKEY VALUES (2, 'CallRecord', 0, ?)",
               {static_cast<int64_t>(calls_.size())});
  database.Run("INSERT INTO Z_METADATA VALUES (1, ?, ?)",
               {"5A0C7E1E-2D7B-4C55-9E1A-3C8D2B6F0A41", Cell::Blob(MetadataPlist())});
  database.Run("INSERT INTO Z_MODELCACHE VALUES (?)", {Cell::Blob(std::string(64, '\0'))});
  std::string sql =
      "INSERT INTO ZCALLRECORD (Z_PK, Z_ENT, Z_OPT, ZANSWERED, ZCALLTYPE, ZDISCONNECTED_CAUSE, "
      "ZFACE_TIME_DATA, ZNUMBER_AVAILABILITY, ZORIGINATED, ZREAD, ZDATE, ZDURATION, ZDEVICE_ID, "
      "ZISO_COUNTRY_CODE, ZNAME, ZUNIQUE_ID, ZADDRESS";
  if (withLocation) sql += ", ZLOCATION";
  if (withServiceProvider) sql += ", ZSERVICE_PROVIDER";
  sql += ") VALUES (?, 2, 1, ?, ?, 0, NULL, 0, ?, 1, ?, ?, NULL, ?, ?, ?, ?";
  if (withLocation) sql += ", ?";
  if (withServiceProvider) sql += ", ?";
  sql += ")";
  int64_t pk = 1;
  for (const CallRecord& c : calls_) {
    char uniqueId[64];
    std::snprintf(uniqueId, sizeof uniqueId, "0C4A11D0-0000-4000-8000-%012lld",
                  static_cast<long long>(pk));
    std::vector<Cell> cells = {pk,
                               c.answered,
                               c.callType,
                               c.originated,
                               c.date,
                               c.duration,
                               c.isoCountryCode,
                               c.name,
                               c.uniqueId.IsNull() ? Cell(uniqueId) : c.uniqueId,
                               c.address};
    if (withLocation) cells.push_back(c.location);
    if (withServiceProvider) cells.push_back(c.serviceProvider);
    database.Run(sql, cells);
    ++pk;
  }
}

}  // namespace builder

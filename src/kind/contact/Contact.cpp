#include "kind/contact/Contact.h"

#include <string>

#include "keldra/Names.h"
#include "kind/CompactRow.h"
#include "kind/JsonText.h"
#include "mivo/Utils.h"
#include "vorn/PimJsonUtil.h"
#include "vorn/VRNUtilitySys.h"

namespace keldra {
namespace {

constexpr int kType = 0;
constexpr unsigned kBatchSize = 100;

constexpr char kPersonSql[] =
    "select rowid,First,Last,Middle,Prefix,Suffix,FirstPhonetic,MiddlePhonetic,LastPhonetic,"
    "DisplayName,Organization,Department,Note,Kind,Birthday,JobTitle,Nickname,CreationDate,"
    "ModificationDate from ABPerson;";
constexpr char kMessagingSql[] =
    "select v.uid,v.record_id,e.value as value,k.value as value_type,l.value as label from "
    "ABMultiValue v left join ABMultiValueLabel l on v.label = l.rowid inner join "
    "ABMultiValueEntry e inner join ABMultiValueEntryKey k on e.parent_id = v.uid and e.key = "
    "k.rowid and v.property = 13 order by uid;";
constexpr char kAddressSql[] =
    "select v.uid,v.record_id,e.value as value,k.value as value_type,l.value as label from "
    "ABMultiValue v left join ABMultiValueLabel l on v.label = l.rowid inner join "
    "ABMultiValueEntry e inner join ABMultiValueEntryKey k on e.parent_id = v.uid and e.key = "
    "k.rowid and v.property = 5 order by uid;";
constexpr char kMultiValueSql[] =
    "select v.uid,v.record_id,v.value,l.value as label from ABMultiValue v left join "
    "ABMultiValueLabel l on v.label = l.rowid where v.property == ? and v.value is not null;";

constexpr char kMessagingEntity[] = "com.apple.contacts.IM";
constexpr char kAddressEntity[] = "com.apple.contacts.Street Address";
constexpr char kDateEntity[] = "com.apple.contacts.Date";

// Simple-entry properties, in the order they are read.
struct SimpleProperty {
  int64_t number;
  const char* entityName;
};
constexpr SimpleProperty kSimpleProperties[] = {
    {22, "com.apple.contacts.URL"},          {4, "com.apple.contacts.Email Address"},
    {3, "com.apple.contacts.Phone Number"},  {12, kDateEntity},
    {23, "com.apple.contacts.Related Name"},
};

// ABPerson columns copied as text when they hold any, in member order.
struct NameColumn {
  int column;
  const char* key;
};
constexpr NameColumn kLeadingNames[] = {
    {1, "first name"},   {3, "middle name"},     {2, "last name"},        {5, "suffix"},
    {4, "title"},        {6, "first name yomi"}, {7, "middle name yomi"}, {8, "last name yomi"},
    {9, "display name"}, {10, "company name"},   {11, "department"},      {12, "notes"},
};

// Dates are whole seconds since 2001; 0 (NULL too) means none.
std::string DateTextOrEmpty(int64_t seconds) {
  return seconds == 0 ? std::string() : VRNUtilitySys::DateText2001(seconds);
}

void AddTextIfAny(rapidjson::Value& object, Kind::Allocator& allocator, const char* key,
                  sqlite3_stmt* statement, int column) {
  std::string_view text = sqlite::Text(statement, column);
  if (!text.empty()) AddText(object, allocator, key, text);
}

}  // namespace

Contact::Contact() : contacts_(std::make_unique<rapidjson::Document>(rapidjson::kObjectType)) {}

Contact::~Contact() = default;

bool Contact::ParseLabel(std::string& label) {
  // Exactly the texts the pattern _[$]{1}!<([^>]+)>![$]{1}_ matches whole:
  // the group is everything between the fixed head and tail, so it matches
  // when that part is not empty and holds no '>'. Checked by hand so that a
  // label of any length costs one pass and no stack.
  static constexpr std::string_view kHead = "_$!<";
  static constexpr std::string_view kTail = ">!$_";
  const std::string_view text(label);
  if (text.size() <= kHead.size() + kTail.size()) return false;
  if (text.substr(0, kHead.size()) != kHead) return false;
  if (text.substr(text.size() - kTail.size()) != kTail) return false;
  const std::string_view group =
      text.substr(kHead.size(), text.size() - kHead.size() - kTail.size());
  if (group.find('>') != std::string_view::npos) return false;
  std::string lowered(group);
  for (char& c : lowered) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  label = std::move(lowered);
  return true;
}

const char* Contact::MapAddressKey(std::string_view key) {
  if (key == "State") return "state";
  if (key == "City") return "city";
  if (key == "Country") return "country";
  if (key == "CountryCode") return "country code";
  if (key == "Street") return "street";
  if (key == "ZIP") return "postal code";
  return nullptr;
}

void Contact::AddLabelMember(rapidjson::Value& entry, Allocator& allocator,
                             std::string_view labelText) {
  std::string label(labelText);
  const bool builtIn = ParseLabel(label);
  AddText(entry, allocator, builtIn ? "type" : "label", label);
}

rapidjson::Value* Contact::FindContact(int64_t rowId) {
  auto found = byRowId_.find(rowId);
  return found == byRowId_.end() ? nullptr : found->second;
}

rapidjson::Value& Contact::EntryArray(rapidjson::Value& contact, const char* entityName) {
  auto member = contact.FindMember(entityName);
  if (member != contact.MemberEnd()) return member->value;
  // Most persons have one or two entries of a property; RapidJSON would
  // make room for 16.
  rapidjson::Value array(rapidjson::kArrayType);
  array.Reserve(2, contacts_->GetAllocator());
  PimJsonUtil::AddJsonDictObjectValue(contact, contacts_->GetAllocator(), entityName, array);
  return (contact.MemberEnd() - 1)->value;
}

void Contact::ReadPersons(sqlite3_stmt* statement) {
  Allocator& allocator = contacts_->GetAllocator();
  while (sqlite3_step(statement) == SQLITE_ROW) {
    rapidjson::Value contact(rapidjson::kObjectType);
    for (const NameColumn& name : kLeadingNames)
      AddTextIfAny(contact, allocator, name.key, statement, name.column);
    PimJsonUtil::AddJsonDictInt64Value(contact, allocator, "kind", sqlite::Int64(statement, 13));
    AddText(contact, allocator, "birthday", DateTextOrEmpty(sqlite::Int64(statement, 14)));
    AddTextIfAny(contact, allocator, "job title", statement, 15);
    AddTextIfAny(contact, allocator, "nickname", statement, 16);
    AddText(contact, allocator, "creation date", DateTextOrEmpty(sqlite::Int64(statement, 17)));
    AddText(contact, allocator, "modification date", DateTextOrEmpty(sqlite::Int64(statement, 18)));
    const std::string rowId = std::to_string(sqlite::Int64(statement, 0));
    PimJsonUtil::AddJsonDictObjectValue(*contacts_, allocator, rowId.c_str(), contact);
  }
  // The members array is final now, so pointers into it stay valid. With
  // duplicate row ids (possible only in a forged table) the first one is
  // found, as a member lookup by name would.
  byRowId_.clear();
  byRowId_.reserve(contacts_->MemberCount());
  for (auto& member : contacts_->GetObject()) {
    byRowId_.emplace(Utils::ParseLeadingInt64(member.name.GetString()), &member.value);
  }
}

void Contact::ReadStructuredEntries(const char* sql, const char* entityName, EntryForm form) {
  sqlite::Statement statement = PrepareOn(databaseWatch_, database_, sql);
  if (!statement) return;
  sqlite3_stmt* row = statement.get();
  Allocator& allocator = contacts_->GetAllocator();
  // The member a sub-entry row contributes, or null when its key adds none.
  auto memberKey = [form](std::string_view valueType) -> const char* {
    if (form == EntryForm::kAddress) return MapAddressKey(valueType);
    if (valueType == "username") return "user";
    if (valueType == "service") return "service";
    return nullptr;
  };
  int64_t lastUid = 0;
  while (sqlite3_step(row) == SQLITE_ROW) {
    rapidjson::Value* contact = FindContact(sqlite::Int64(row, 1));
    if (!contact) continue;
    rapidjson::Value& array = EntryArray(*contact, entityName);
    const int64_t uid = sqlite::Int64(row, 0);
    const std::string_view value = sqlite::Text(row, 2);
    const char* key = memberKey(sqlite::Text(row, 3));
    if (uid == lastUid && !array.Empty()) {
      rapidjson::Value& entry = array[array.Size() - 1];
      if (key && entry.IsObject()) AddText(entry, allocator, key, value);
      continue;
    }
    lastUid = uid;
    rapidjson::Value entry(rapidjson::kObjectType);
    AddText(entry, allocator, "id", std::to_string(uid));
    if (key) AddText(entry, allocator, key, value);
    AddLabelMember(entry, allocator, sqlite::Text(row, 4));
    PimJsonUtil::PushJsonArrayObjectValue(array, allocator, entry);
  }
}

void Contact::ReadMultiValues(int64_t property, const char* entityName) {
  sqlite::Statement statement = PrepareOn(databaseWatch_, database_, kMultiValueSql);
  if (!statement) return;
  sqlite3_stmt* row = statement.get();
  sqlite3_bind_int64(row, 1, property);
  // Simple entries are complete when made: built aside, stored at their size.
  CompactRow compact;
  Allocator& allocator = compact.Allocator();
  const bool isDate = std::string_view(entityName) == kDateEntity;
  while (sqlite3_step(row) == SQLITE_ROW) {
    rapidjson::Value* contact = FindContact(sqlite::Int64(row, 1));
    if (!contact) continue;
    rapidjson::Value& array = EntryArray(*contact, entityName);
    rapidjson::Value& entry = compact.Object();
    if (isDate) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(row, 2));
      AddText(entry, allocator, "value",
              VRNUtilitySys::DateText2001(Utils::ParseLeadingInt64(text)));
    } else {
      AddText(entry, allocator, "value", sqlite::Text(row, 2));
    }
    AddText(entry, allocator, "id", std::to_string(sqlite::Int64(row, 0)));
    AddLabelMember(entry, allocator, sqlite::Text(row, 3));
    compact.AppendTo(array, contacts_->GetAllocator());
  }
}

bool Contact::ReadAddressBook(const std::string& path) {
  database_ = sqlite::OpenReadOnly(path);
  if (!database_) return false;
  sqlite::Statement persons = sqlite::Prepare(database_, kPersonSql);
  if (!persons) {
    AddQueryProblem(databaseWatch_, database_.get());
    database_.reset();
    return false;
  }
  ReadPersons(persons.get());
  persons.reset();
  ReadStructuredEntries(kMessagingSql, kMessagingEntity, EntryForm::kMessaging);
  ReadStructuredEntries(kAddressSql, kAddressEntity, EntryForm::kAddress);
  for (const SimpleProperty& property : kSimpleProperties)
    ReadMultiValues(property.number, property.entityName);
  byRowId_.clear();
  database_.reset();
  return true;
}

void Contact::SendBatches(const std::string& taskId) {
  const StageSender stages(*this, taskId, kType);
  Allocator& allocator = contacts_->GetAllocator();
  auto member = contacts_->MemberBegin();
  while (member != contacts_->MemberEnd()) {
    rapidjson::Value batch(rapidjson::kObjectType);
    for (unsigned n = 0; n < kBatchSize && member != contacts_->MemberEnd(); ++n, ++member)
      batch.AddMember(member->name, member->value, allocator);  // moves both
    stages.Send(2, allocator, batch);
  }
}

void Contact::Run(const ScanContext& scan) {
  const StageSender stages(*this, scan.taskId, kType);
  databasePath_ = Locate(databaseWatch_);
  ReadAddressBook(databasePath_);
  Allocator& allocator = contacts_->GetAllocator();

  stages.SendSummary(allocator, static_cast<int32_t>(contacts_->MemberCount()),
                     {{"contact_db_path", databasePath_}});

  SendBatches(scan.taskId);

  stages.SendClosing(3, allocator);

  contacts_ = std::make_unique<rapidjson::Document>(rapidjson::kObjectType);
}

}  // namespace keldra

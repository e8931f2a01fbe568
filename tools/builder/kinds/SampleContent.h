// Small, realistic data sets of the device databases, for demos, manual
// testing and mkbackup's --content.
#ifndef KELDRA_BUILDER_KINDS_SAMPLECONTENT_H_
#define KELDRA_BUILDER_KINDS_SAMPLECONTENT_H_

#include "builder/BackupBuilder.h"

namespace builder {

// A handful of persons with phones, e-mail, a postal address, a messaging
// account, a birthday and an anniversary, custom and built-in labels.
void AddSampleContacts(BackupBuilder& backup);
// Two calendars with events: one with two alarms, a weekly recurring one,
// an all-day one, and one with neither (which readers skip).
void AddSampleCalendar(BackupBuilder& backup);
// Calls in both databases: a few in call_history.db, more in the store.
void AddSampleCalls(BackupBuilder& backup);
// A bookmarks bar with a folder, top-level bookmarks and a reading list.
void AddSampleBookmarks(BackupBuilder& backup);
// A few pages visited several times over two days.
void AddSampleHistory(BackupBuilder& backup);

}  // namespace builder

#endif  // KELDRA_BUILDER_KINDS_SAMPLECONTENT_H_

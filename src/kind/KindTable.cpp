#include "kind/KindTable.h"

#include <iterator>

#include "kind/bookmark/Bookmark.h"
#include "kind/calendar/Calendar.h"
#include "kind/callhistory/CallHistory.h"
#include "kind/contact/Contact.h"
#include "kind/history/History.h"
#include "kind/note/Note.h"
#include "kind/photo/Photo.h"
#include "kind/recording/recording.h"
#include "kind/sms/Sms.h"
#include "kind/smsattachment/SmsAttachment.h"
#include "kind/whatsapp/WhatsApp.h"

namespace keldra {
namespace {

using Factory = std::shared_ptr<Kind> (*)();

template <typename T>
std::shared_ptr<Kind> Make() {
  return std::make_shared<T>();
}

// The class of each kind, by number.
constexpr Factory kFactories[] = {
    /* 0 Contact       */ &Make<Contact>,
    /* 1 Sms           */ &Make<Sms>,
    /* 2 SmsAttachment */ &Make<SmsAttachment>,
    /* 3 Calendar      */ &Make<Calendar>,
    /* 4 CallHistory   */ &Make<CallHistory>,
    /* 5 Note          */ &Make<Note>,
    /* 6 Photo         */ &Make<Photo>,
    /* 7 Recording     */ &Make<Recording>,
    /* 8 Bookmark      */ &Make<Bookmark>,
    /* 9 History       */ &Make<History>,
    /* 10 WhatsApp     */ &Make<WhatsApp>,
};

static_assert(std::size(kFactories) == std::size(kKinds), "one class for each kind's line");

}  // namespace

KindObject CreateKind(int number) {
  KindObject object;
  if (number < 0 || number >= kKindCount || !kFactories[number]) return object;
  object.kind = kFactories[number]();
  object.observer = object.kind.get();
  return object;
}

}  // namespace keldra

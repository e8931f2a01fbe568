// The one way into RapidJSON for every target of the project.
//
// RapidJSON's own assertion aborts the process; input from callers and from
// device databases must never do that, so a failed assertion throws instead.
// Every receive function catches at its boundary. All targets include this
// header (never <rapidjson/...> directly) so that documents crossing the
// channel are built with one configuration.
#ifndef VORN_JSON_H_
#define VORN_JSON_H_

#include <stdexcept>

namespace vorn {
class JsonAssertion : public std::logic_error {
 public:
  explicit JsonAssertion(const char* what) : std::logic_error(what) {}
};
}  // namespace vorn

#ifndef RAPIDJSON_ASSERT
#define RAPIDJSON_ASSERT(x)                                       \
  do {                                                            \
    if (!(x)) throw ::vorn::JsonAssertion("json assertion: " #x); \
  } while (0)
#endif
#define RAPIDJSON_HAS_STDSTRING 1

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#endif  // VORN_JSON_H_

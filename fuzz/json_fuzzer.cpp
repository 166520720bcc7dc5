// JsonObject::Parse over arbitrary text, then the reads the resolvers make.
#include <string>

#include "script/json_object.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace morvane;
  const std::string text(reinterpret_cast<const char*>(data), size);
  JsonObject json;
  json.Parse(text);
  for (const char* path : {"downurl", "dom", "url", "sign", "timestamp", "bdstoken", "uk",
                           "shareid", "file_list.list[0].app_id", "file_list.list[0].path"}) {
    (void)json.GetText(path);
    (void)json.GetType(path);
  }
  (void)json.GetText("file_list.list[0].fs_id", true);
  TextList keys;
  (void)json.ListKeys(keys);
  (void)json.MemberCount();
  (void)json.ToJsonText();
  (void)json.GetSubObject("file_list").GetText("list[0].path");
  return 0;
}

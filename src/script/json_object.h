#pragma once
// A JSON value read and changed by path ("a.b[0].c"). Texts are GBK on both
// sides. Nothing is ever evaluated: Parse parses JSON, and setters store a
// string, or with asJson/raw a parsed JSON value (an unparsable value changes
// nothing). Every failure yields the neutral value: empty text, 0, false.

#include <memory>
#include <string_view>

#include "text/text.h"

namespace morvane {

enum JsonValueKind : int {
  kJsonNull = 0,
  kJsonNumber = 2,
  kJsonObject = 4,
  kJsonArray = 5,
  kJsonString = 6,
  kJsonOther = -1,
};

class JsonObject {
 public:
  JsonObject();
  ~JsonObject();
  // A copy shares nothing mutable: it holds its own copy of the value.
  JsonObject(const JsonObject& other);
  JsonObject& operator=(const JsonObject& other);
  JsonObject(JsonObject&&) noexcept;
  JsonObject& operator=(JsonObject&&) noexcept;

  bool Parse(std::string_view jsonText);
  Text ToJsonText() const;
  void SetMember(std::string_view name, std::string_view value, bool asJson = false);
  void SetMemberJson(std::string_view name, std::string_view jsonText);
  void SetMemberNumber(std::string_view name, double value);
  double GetNumber(std::string_view path) const;
  Text GetMemberJson(std::string_view path) const;
  Text GetText(std::string_view path, bool asJson = false) const;
  JsonObject GetSubObject(std::string_view path) const;
  int MemberCount(std::string_view path = {}) const;
  void Append(std::string_view value, std::string_view arrayPath = {}, bool raw = false);
  JsonObject GetElementObject(int index, std::string_view arrayPath = {}) const;
  Text GetElementText(int index, std::string_view arrayPath = {}, bool asJson = false) const;
  void SetElement(int index, std::string_view value, bool raw = false);
  void RemoveElement(int index);
  void DeleteMember(std::string_view name);
  void Reset(int kind);
  void SetValue(std::string_view value, bool raw = false);
  bool HasMember(std::string_view path) const;
  int ListKeys(TextList& keys, std::string_view path = {}) const;
  int GetType(std::string_view path = {}) const;
  void Clear();

 private:
  struct Value;
  std::unique_ptr<Value> value_;
};

}  // namespace morvane

#include "script/json_object.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "script/json_value.h"
#include "text/charset.h"

namespace morvane {

using json::Json;
using json::PathJoin;
using json::PathStep;

// The value, or no value at all: the empty text parses to nothing, which
// differs from null in what the readers give (ToJsonText, GetType).
struct JsonObject::Value {
  Json json = Json::object();
  bool absent = false;
};

namespace {

// What a path reaches. A missing last step is an absent value; a step
// through null or an absent value fails, as member access on them does in a
// script.
enum class Reach { kFound, kMissing, kFailed };

struct Lookup {
  Reach reach = Reach::kFailed;
  Json* value = nullptr;
};

Json* Step(Json& container, const PathStep& step) {
  if (container.is_object()) {
    auto& members = container.get_ref<Json::object_t&>();
    // An element number on an object names the member spelled as that number.
    const std::string name = step.isIndex ? std::to_string(step.index) : step.name;
    const auto found = members.find(name);
    return found == members.end() ? nullptr : &found->second;
  }
  if (container.is_array() && step.isIndex) {
    auto& elements = container.get_ref<Json::array_t&>();
    if (step.index < 0 || static_cast<unsigned long long>(step.index) >= elements.size()) {
      return nullptr;
    }
    return &elements[static_cast<std::size_t>(step.index)];
  }
  // Strings, numbers and booleans have no members that JSON can show.
  return nullptr;
}

Lookup Resolve(Json* root, const std::vector<PathStep>& steps) {
  Json* current = root;
  for (const PathStep& step : steps) {
    if (current == nullptr || current->is_null()) return {Reach::kFailed, nullptr};
    current = Step(*current, step);
  }
  if (current == nullptr) return {Reach::kMissing, nullptr};
  return {Reach::kFound, current};
}

// The value text of a reader asked "as text": strings as they are, numbers
// in script form, booleans as -1 and 0, containers as their JSON text.
std::string ValueText(const Json& value) {
  switch (value.type()) {
    case Json::value_t::string:
      return value.get_ref<const std::string&>();
    case Json::value_t::boolean:
      return value.get<bool>() ? "-1" : "0";
    case Json::value_t::null:
      return {};
    default:
      return json::Stringify(value);
  }
}

// A value read "as a number", as the component runtime converts a script
// value: numbers as they are, booleans as -1 and 0, a text that is a number
// as that number, anything else as 0.
double ValueNumber(const Json& value) {
  if (value.is_number()) return value.get<double>();
  if (value.is_boolean()) return value.get<bool>() ? -1 : 0;
  if (value.is_string()) {
    const std::string& text = value.get_ref<const std::string&>();
    const auto begin = text.find_first_not_of(" \t\r\n");
    const auto end = text.find_last_not_of(" \t\r\n");
    if (begin == std::string::npos) return 0;
    double number = 0;
    const auto result = std::from_chars(text.data() + begin, text.data() + end + 1, number);
    if (result.ec == std::errc() && result.ptr == text.data() + end + 1) return number;
  }
  return 0;
}

// A value given to a setter: a string as it is, or with `asJson` (`raw`) the
// value its JSON text denotes; nullopt, which changes nothing, when that text
// is not JSON.
std::optional<Json> SetterValue(std::string_view gbkValue, bool asJson) {
  std::string utf8 = GbkToUtf8(gbkValue);
  if (!asJson) return Json(std::move(utf8));
  return json::Parse(utf8);
}

Json NumberValue(double value) {
  // Integers stay integers, so that their JSON text keeps every digit.
  if (std::trunc(value) == value && std::abs(value) < 9.2e18) {
    return Json(static_cast<Json::number_integer_t>(value));
  }
  return Json(value);
}

int KindOf(const Json& value) {
  switch (value.type()) {
    case Json::value_t::null:
      return kJsonNull;
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
    case Json::value_t::number_float:
      return kJsonNumber;
    case Json::value_t::object:
      return kJsonObject;
    case Json::value_t::array:
      return kJsonArray;
    case Json::value_t::string:
      return kJsonString;
    default:
      return kJsonOther;
  }
}

}  // namespace

JsonObject::JsonObject() : value_(std::make_unique<Value>()) {}
JsonObject::~JsonObject() = default;
JsonObject::JsonObject(const JsonObject& other)
    : value_(std::make_unique<Value>(other.value_ ? *other.value_ : Value{})) {}
JsonObject& JsonObject::operator=(const JsonObject& other) {
  if (this != &other) value_ = std::make_unique<Value>(other.value_ ? *other.value_ : Value{});
  return *this;
}
JsonObject::JsonObject(JsonObject&&) noexcept = default;
JsonObject& JsonObject::operator=(JsonObject&&) noexcept = default;

namespace {

// The value an object holds, or null when it holds none (or was moved from).
// Templates, because the holder's type is private to the class.
template <typename Holder>
Json* Root(Holder* value) {
  return value == nullptr || value->absent ? nullptr : &value->json;
}

template <typename Holder>
Lookup Find(Holder* value, std::string_view path, PathJoin join) {
  const auto steps = json::ParsePath(path, join);
  if (!steps) return {};
  return Resolve(Root(value), *steps);
}

// The container that the last step of `path` names a place in, with that
// step; nullopt when the place cannot take a value.
struct Place {
  Json* container = nullptr;
  PathStep last;
};

template <typename Holder>
std::optional<Place> FindPlace(Holder* value, std::string_view path, PathJoin join) {
  auto steps = json::ParsePath(path, join);
  if (!steps || steps->empty()) return std::nullopt;
  const PathStep last = steps->back();
  steps->pop_back();
  const Lookup parent = Resolve(Root(value), *steps);
  if (parent.reach != Reach::kFound) return std::nullopt;
  if (!parent.value->is_object() && !(parent.value->is_array() && last.isIndex)) {
    return std::nullopt;
  }
  return Place{parent.value, last};
}

// Puts `item` at the place: a member of an object, or an element of an
// array, which grows with nulls when the number lies past its end.
void Put(const Place& place, Json item) {
  if (place.container->is_object()) {
    const std::string name =
        place.last.isIndex ? std::to_string(place.last.index) : place.last.name;
    (*place.container)[name] = std::move(item);
    return;
  }
  auto& elements = place.container->get_ref<Json::array_t&>();
  // A negative or enormous number names no element JSON can show.
  if (place.last.index < 0 || place.last.index > static_cast<long long>(elements.size()) + 65536) {
    return;
  }
  const auto index = static_cast<std::size_t>(place.last.index);
  if (index >= elements.size()) elements.resize(index + 1);
  elements[index] = std::move(item);
}

}  // namespace

bool JsonObject::Parse(std::string_view jsonText) {
  if (!value_) value_ = std::make_unique<Value>();
  value_->absent = jsonText.empty();
  value_->json = nullptr;
  if (jsonText.empty()) return false;
  // Parsed, never evaluated: a script expression is no JSON and fails here.
  std::optional<Json> parsed = json::Parse(GbkToUtf8(jsonText));
  if (!parsed) return false;
  value_->json = std::move(*parsed);
  return !value_->json.is_null();
}

Text JsonObject::ToJsonText() const {
  const Json* root = Root(value_.get());
  return root == nullptr ? Text() : Utf8ToGbk(json::Stringify(*root));
}

void JsonObject::SetMember(std::string_view name, std::string_view value, bool asJson) {
  const auto place = FindPlace(value_.get(), name, PathJoin::kMember);
  if (!place) return;
  auto item = SetterValue(asJson && value.empty() ? std::string_view("{}") : value, asJson);
  if (item) Put(*place, std::move(*item));
}

void JsonObject::SetMemberJson(std::string_view name, std::string_view jsonText) {
  const auto place = FindPlace(value_.get(), name, PathJoin::kMember);
  if (!place) return;
  auto item = SetterValue(jsonText, true);
  if (item) Put(*place, std::move(*item));
}

void JsonObject::SetMemberNumber(std::string_view name, double value) {
  // The number goes through its 13-digit text, as the original wrote it into
  // script; NaN and infinities have no such text and change nothing.
  if (!std::isfinite(value)) return;
  const auto place = FindPlace(value_.get(), name, PathJoin::kMember);
  if (!place) return;
  Put(*place, NumberValue(std::strtod(json::Number13Text(value).c_str(), nullptr)));
}

double JsonObject::GetNumber(std::string_view path) const {
  const Lookup found = Find(value_.get(), path, PathJoin::kMember);
  return found.reach == Reach::kFound ? ValueNumber(*found.value) : 0;
}

Text JsonObject::GetMemberJson(std::string_view path) const {
  const Lookup found = Find(value_.get(), path, PathJoin::kMember);
  return found.reach == Reach::kFound ? Utf8ToGbk(json::Stringify(*found.value)) : Text();
}

Text JsonObject::GetText(std::string_view path, bool asJson) const {
  const Lookup found = Find(value_.get(), path, PathJoin::kElement);
  if (found.reach != Reach::kFound) return {};
  if (asJson) return Utf8ToGbk(json::Stringify(*found.value));
  // Numbers read through a member path keep at most 13 significant digits;
  // a caller that needs them all reads the JSON text.
  if (found.value->is_number() && path.front() != '[') {
    return json::Number13Text(found.value->get<double>());
  }
  return Utf8ToGbk(ValueText(*found.value));
}

JsonObject JsonObject::GetSubObject(std::string_view path) const {
  JsonObject sub;
  const Lookup found = Find(value_.get(), path, PathJoin::kElement);
  sub.value_->absent = found.reach != Reach::kFound;
  sub.value_->json = found.reach == Reach::kFound ? *found.value : Json();
  return sub;
}

int JsonObject::MemberCount(std::string_view path) const {
  const Lookup found =
      Find(value_.get(), path, path.empty() ? PathJoin::kOptionalMember : PathJoin::kElement);
  if (found.reach != Reach::kFound) return 0;
  return found.value->is_object() || found.value->is_array()
             ? static_cast<int>(std::min<std::size_t>(found.value->size(), INT32_MAX))
             : 0;
}

void JsonObject::Append(std::string_view value, std::string_view arrayPath, bool raw) {
  auto item = SetterValue(value, raw);
  if (!item || !value_) return;
  if (arrayPath.empty()) {
    Json& root = value_->json;
    if (value_->absent || !root.is_array()) root = Json::array();
    value_->absent = false;
    root.push_back(std::move(*item));
    return;
  }
  const auto place = FindPlace(value_.get(), arrayPath, PathJoin::kMember);
  if (!place) return;
  // A target that is not an array (absent, null, an object, a string) is
  // replaced by an empty one first.
  Json* target = Step(*place->container, place->last);
  if (target == nullptr || !target->is_array()) {
    Put(*place, Json::array());
    target = Step(*place->container, place->last);
    if (target == nullptr) return;
  }
  target->push_back(std::move(*item));
}

JsonObject JsonObject::GetElementObject(int index, std::string_view arrayPath) const {
  JsonObject element;
  const Lookup array = Find(value_.get(), arrayPath, PathJoin::kOptionalMember);
  Json* found = nullptr;
  if (array.reach == Reach::kFound && !array.value->is_null()) {
    found = Step(*array.value, PathStep{true, {}, index});
  }
  element.value_->absent = found == nullptr;
  element.value_->json = found != nullptr ? *found : Json();
  return element;
}

Text JsonObject::GetElementText(int index, std::string_view arrayPath, bool asJson) const {
  const Lookup array = Find(value_.get(), arrayPath, PathJoin::kOptionalMember);
  if (array.reach != Reach::kFound || array.value->is_null()) return {};
  const Json* found = Step(*array.value, PathStep{true, {}, index});
  if (found == nullptr) return {};
  return Utf8ToGbk(asJson ? json::Stringify(*found) : ValueText(*found));
}

void JsonObject::SetElement(int index, std::string_view value, bool raw) {
  Json* root = Root(value_.get());
  if (root == nullptr || !(root->is_object() || root->is_array())) return;
  auto item = SetterValue(value, raw);
  if (item) Put(Place{root, PathStep{true, {}, index}}, std::move(*item));
}

void JsonObject::RemoveElement(int index) {
  Json* root = Root(value_.get());
  if (root == nullptr || !root->is_array()) return;
  auto& elements = root->get_ref<Json::array_t&>();
  // As splice: a negative start counts from the end.
  const long long size = static_cast<long long>(elements.size());
  const long long start = index < 0 ? std::max(0LL, size + index) : index;
  if (start < size) elements.erase(elements.begin() + start);
}

void JsonObject::DeleteMember(std::string_view name) {
  const auto place = FindPlace(value_.get(), name, PathJoin::kMember);
  if (!place) return;
  if (place->container->is_object()) {
    place->container->erase(place->last.isIndex ? std::to_string(place->last.index)
                                                : place->last.name);
    return;
  }
  // Deleting an element leaves a hole, which JSON shows as null.
  if (Json* element = Step(*place->container, place->last)) *element = nullptr;
}

void JsonObject::Reset(int kind) {
  if (kind != kJsonNull && kind != kJsonObject && kind != kJsonArray) return;
  if (!value_) value_ = std::make_unique<Value>();
  value_->absent = false;
  value_->json = kind == kJsonArray ? Json::array() : Json::object();
}

void JsonObject::SetValue(std::string_view value, bool raw) {
  auto item = SetterValue(value, raw);
  if (!item) return;
  if (!value_) value_ = std::make_unique<Value>();
  value_->absent = false;
  value_->json = std::move(*item);
}

bool JsonObject::HasMember(std::string_view path) const {
  const Lookup found = Find(value_.get(), path, PathJoin::kMember);
  return found.reach == Reach::kFound && !found.value->is_null();
}

int JsonObject::ListKeys(TextList& keys, std::string_view path) const {
  keys.clear();
  const Lookup found = Find(value_.get(), path, PathJoin::kOptionalMember);
  if (found.reach != Reach::kFound) return 0;
  if (found.value->is_object()) {
    for (const auto& member : found.value->get_ref<const Json::object_t&>()) {
      keys.push_back(Utf8ToGbk(member.first));
    }
  } else if (found.value->is_array()) {
    for (std::size_t i = 0; i < found.value->size(); ++i) keys.push_back(std::to_string(i));
  }
  return static_cast<int>(keys.size());
}

int JsonObject::GetType(std::string_view path) const {
  const Lookup found = Find(value_.get(), path, PathJoin::kOptionalMember);
  switch (found.reach) {
    case Reach::kFound:
      return KindOf(*found.value);
    case Reach::kMissing:
      return kJsonNull;
    default:
      return kJsonOther;
  }
}

void JsonObject::Clear() { Reset(kJsonObject); }

}  // namespace morvane

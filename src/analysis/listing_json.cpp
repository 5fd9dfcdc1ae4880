#include "analysis/listing_json.h"

#include <nlohmann/json.hpp>

#include "analysis/listing.h"
#include "analysis/value_meanings.h"
#include "model/midi_bytes.h"

namespace mertovan {

namespace {

// The JSON text of `value` as the library writes it with an indent of 2
// (keys in alphabetical order; names that are not UTF-8 get U+FFFD), set
// `depth` columns in, as an element of an enclosing array or object.
std::string JsonText(const nlohmann::json& value, size_t depth) {
  const std::string text = value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
  std::string indented;
  indented.reserve(text.size() + depth);
  for (char c : text) {
    indented += c;
    if (c == '\n') indented.append(depth, ' ');
  }
  return indented;
}

nlohmann::json EventJson(const SysExList& list, const Tsys& e, const std::string& meaning) {
  std::string bytes = "F0";
  AppendHexBytes(bytes, list.Raw(e));
  nlohmann::json cc = nlohmann::json::array();
  for (int i = 0; i < 4 && e.ccNumber[i] != kNone; ++i) cc.push_back({e.ccNumber[i], e.ccValue[i]});
  return {
      {"bar", e.bar},
      {"beat", e.beat},
      {"beatTick", e.beatTick},
      {"bytes", bytes},
      {"cc", cc},
      {"channel", e.channel == kNone ? nlohmann::json(nullptr) : nlohmann::json(e.channel)},
      {"eventName", e.eventName.view()},
      {"length", e.length},
      {"meaning", meaning},
      // The part as the listing's Ch column shows it, 1-64; "channel" is the
      // part the message converts for, counted from 0, as scripts already
      // read it.
      {"part", e.part == kNone ? nlohmann::json(nullptr) : nlohmann::json(e.part + 1)},
      {"tick", e.tick},
      {"valueText", e.valueText.view()},
  };
}

}  // namespace

std::string EventJsonText(const SysExList& list, const Tsys& e, const std::string& meaning, size_t depth) {
  return JsonText(EventJson(list, e, meaning), depth);
}

void JsonListing::FailedFile(const std::string& path, const std::string& error) {
    BeginFile();
    out_ << "    \"error\": " << JsonText(error, 4) << ",\n    \"events\": [],\n";
    EndFile(path);
  }

void JsonListing::Events(const std::string& path, const SysExList& list) {
    BeginFile();
    if (list.size() == 0) {
      out_ << "    \"events\": [],\n";
      EndFile(path);
      return;
    }
    out_ << "    \"events\": [\n";
    MeaningContext context;
    bool first = true;
    for (const Tsys& e : list.events) {
      out_ << (first ? "      " : ",\n      ") << EventJsonText(list, e, context.Feed(list, e));
      first = false;
    }
    out_ << "\n    ],\n";
    EndFile(path);
  }

void JsonListing::EndFile(const std::string& path) { out_ << "    \"file\": " << JsonText(path, 4) << "\n  }"; }

}  // namespace mertovan

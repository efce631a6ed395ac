// Small helpers shared by the stand-in's control endpoints and its operations: JSON and text replies,
// Base64, and prefix tests.
#pragma once
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "HttpServer.h"

namespace sim {

Reply JsonReply(int status, const nlohmann::json& body);
// An answer whose keys keep the order they were written in, as the service writes them (the client's
// field readers depend on the order).
Reply JsonReply(int status, const nlohmann::ordered_json& body);
Reply TextReply(int status, std::string body);
std::string Base64(std::string_view in);
std::string Unbase64(std::string_view in);  // skips characters outside both alphabets
bool StartsWith(std::string_view s, std::string_view prefix);

}  // namespace sim

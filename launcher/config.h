// Everything that names the game, its channel and the two web endpoints.
// The per-game values come from the build (see build_options.h.in); the rest
// is fixed by the service's protocol and the id file's layout.
#pragma once

#include "build_options.h"

constexpr char kShortcutName[] = LAUNCHER_DISPLAY_NAME_ANSI;  // ANSI code page bytes
constexpr char kDataFolder[] = "OrvikWD";
constexpr char kIdFileName[] = "id.ini";
constexpr char kIdSection[] = "info";
constexpr char kIdKey[] = "id";
constexpr char kDefaultDeviceId[] = "11111111111111111111111111111111";

constexpr char kServiceHost[] = LAUNCHER_SERVICE_HOST;
constexpr char kServiceUrl[] = "http://" LAUNCHER_SERVICE_HOST;
constexpr char kUidPath[] = "app/getuid";
constexpr char kLogPath[] = "logger/common/log";

constexpr char kChannelId[] = LAUNCHER_CHANNEL_ID;
constexpr char kPlayUrl[] = "https://" LAUNCHER_PORTAL_HOST "/channel/" LAUNCHER_CHANNEL_ID
                            "/game/" LAUNCHER_GAME_ID "/play";
constexpr char kPackageName[] = LAUNCHER_PACKAGE_NAME;

// One line; the TABs, the spaces around " : " and the unescaped values are
// what the service's log endpoint parses.
constexpr char kReportFormat[] =
    "reportInfo={\"type\":\"13524\",\t\t\"userId\":\"%s\",\t\t\"bId\" : \"3A91C07E52D\","
    "\t\t\"channelId\" : \"%s\",\t\t\"pkgName\" : \"%s\",\t\t\"op\" : \"%s\",\t\t\"did\" : \"%s\"}";

// Window message posted when a web exchange fails.
constexpr unsigned kFailureMessage = 10000;

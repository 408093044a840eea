// The instance-ID matcher of devcon find, against a table of IDs of the kind Windows gives.
#include "tools/devcon/match.h"

#include <gtest/gtest.h>

namespace {

struct Case {
  const char* pattern;
  const char* id;
  bool match;
};

const Case kCases[] = {
    // The script's probes: a prefix with "*" for the rest, letter case ignored.
    {"usb\\vid_03eb&pid_2ff4*", "USB\\VID_03EB&PID_2FF4\\5&1A2B3C&0&2", true},
    {"hid\\vid_1209&pid_2327*", "HID\\VID_1209&PID_2327\\7&2D3E4F&0&0000", true},
    {"USB\\VID_03EB&PID_2FF4*", "usb\\vid_03eb&pid_2ff4\\abc", true},
    {"usb\\vid_03eb&pid_2ff0*", "USB\\VID_03EB&PID_2FF4\\5&1A2B3C&0&2", false},
    {"hid\\vid_1209&pid_2327*", "USB\\VID_1209&PID_2327\\6&1&0&1", false},
    {"usb\\vid_1209&pid_babe*", "USB\\VID_1209&PID_BABE", true},  // "*" may be empty
    // Without "*" the whole ID must match.
    {"usb\\vid_03eb&pid_2ff4", "USB\\VID_03EB&PID_2FF4\\5&1A2B3C", false},
    {"root\\wine\\winebus", "ROOT\\WINE\\WINEBUS", true},
    {"root\\wine\\winebu", "ROOT\\WINE\\WINEBUS", false},
    {"root\\wine\\winebus\\0", "ROOT\\WINE\\WINEBUS", false},
    // Only letters fold: "\" and "|", "[" and "{", "@" and "`" differ by 0x20 but are not
    // the same character.
    {"usb|vid_03eb*", "USB\\VID_03EB&PID_2FF4\\1", false},
    {"a{1}*", "A[1]\\2", false},
    {"`x*", "@X\\1", false},
    // "*" anywhere, also several; "?" exactly one character.
    {"*", "ROOT\\WINE\\WINEBUS", true},
    {"*", "", true},
    {"", "", true},
    {"", "X", false},
    {"*\\vid_03eb&*", "USB\\VID_03EB&PID_2FF4\\1", true},
    {"usb\\*&pid_2ff4\\*", "USB\\VID_03EB&PID_2FF4\\1", true},
    {"*&pid_2ff4", "USB\\VID_03EB&PID_2FF4\\1", false},
    {"*3c&*&?", "USB\\VID_03EB&PID_2FF4\\5&1A2B3C&0&2", true},
    {"*3c&*&??", "USB\\VID_03EB&PID_2FF4\\5&1A2B3C&0&2", false},
    {"**winebus", "ROOT\\WINE\\WINEBUS", true},
    {"usb\\vid_03e?&pid_2ff4*", "USB\\VID_03EB&PID_2FF4\\1", true},
    {"usb\\vid_03e??pid_2ff4*", "USB\\VID_03EB&PID_2FF4\\1", true},
    {"usb\\vid_03?&pid_2ff4*", "USB\\VID_03EB&PID_2FF4\\1", false},
    {"root\\wine\\winebus?", "ROOT\\WINE\\WINEBUS", false},
    {"*?", "", false},
    // A star that must give characters back several times before the rest fits.
    {"*a*b", "xaxxb", true},
    {"*a*b", "xaxxbx", false},
    {"*ab*ab", "ababab", true},
    {"*a*a*a*a*a*a*a*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
};

TEST(DevconMatch, TableOfInstanceIds) {
  for (const Case& c : kCases)
    EXPECT_EQ(devcon::MatchInstanceId(c.pattern, c.id), c.match)
        << "pattern \"" << c.pattern << "\" id \"" << c.id << "\"";
}

}  // namespace

// vidloom:sanitize
// Device ids, the test sound server's device list, and the rule that picks stereo mix and microphone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "capture/AudioInputDevice.h"
#include "capture/GUID.h"
#include "tests/support/SoundCheck.h"
#include "tests/support/TestEnv.h"

namespace {

AudioInputDevice Device(const char* name, const char* guid) {
    AudioInputDevice device;
    snprintf(device.name, sizeof device.name, "%s", name);
    snprintf(device.guid, sizeof device.guid, "%s", guid);
    return device;
}

const AudioInputDevice* FindByGuid(const std::vector<AudioInputDevice>& devices, const std::string& guid) {
    auto found =
        std::find_if(devices.begin(), devices.end(), [&](const AudioInputDevice& d) { return guid == d.guid; });
    return found == devices.end() ? nullptr : &*found;
}

}  // namespace

TEST(Guid, TextFormRoundTripAndShortTexts) {
    GUID guid = {0x0123ABCD, 0x4567, 0x89EF, {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10}};
    std::string text;
    GuidToString(guid, text);
    EXPECT_EQ("{0123ABCD-4567-89EF-FEDC-BA9876543210}", text);
    GUID back = {};
    EXPECT_EQ(0, GuidFromString("{0123abcd-4567-89ef-fedc-ba9876543210}", back));
    EXPECT_TRUE(back == guid) << "lower-case digits parse like upper-case ones";
    // exactly sized heap copies: the address sanitizer catches any read past them
    for (std::string source : {"", "{", "{0123ABCD", "{0123ABCD-4567-89EF-FEDC-BA98765432"}) {
        std::vector<char> copy(source.c_str(), source.c_str() + source.size() + 1);
        EXPECT_EQ(-1, GuidFromString(copy.data(), back)) << source;
    }
    EXPECT_EQ(-1, GuidFromString(nullptr, back));
}

TEST(FindMixAndMicDevices, PicksTheLastOfEachKind) {
    AudioInputDevice unterminated = Device("", "{FULL}");
    memset(unterminated.name, 'x', sizeof unterminated.name);
    struct Case {
        std::vector<AudioInputDevice> devices;
        const char* mix;
        const char* mic;
    };
    const Case cases[] = {
        {{Device("麦克风 (USB)", "{MIC}")}, "", "{MIC}"},
        {{Device("麦克风和立体声混音", "{BOTH}")}, "{BOTH}", ""},
        {{Device("麦克风 1", "{FIRST}"), Device("立体声混音", "{MIX}"), Device("麦克风 2", "{SECOND}")}, "{MIX}", "{SECOND}"},
        {{unterminated}, "", "{FULL}"},  // a name filling its whole field is still searched safely
        {{}, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.devices.empty() ? "none" : c.devices[0].guid);
        std::string mix = "stale", mic = "stale";
        FindMixAndMicDevices(c.devices, mix, mic);
        EXPECT_EQ(c.mix, mix);
        EXPECT_EQ(c.mic, mic);
    }
}

// A description longer than the name field: 1 + 100 x 3 bytes, the field's last byte inside a character.
TEST(EnumerateSoundCaptureDevices, ListsTheTestServersSources) {
    REQUIRE_PULSE();
    std::string description = "A";
    for (int i = 0; i < 100; ++i)
        description += "长";
    int status = -1;
    std::string module = RunCommand("pactl load-module module-sine-source source_name=vidloom_long_name "
                                    "source_properties=device.description=" + description, &status);
    ASSERT_EQ(0, status) << module;
    std::vector<AudioInputDevice> devices = {Device("kept", "{KEPT}")};
    int result = EnumerateSoundCaptureDevices(devices);
    RunCommand("pactl unload-module " + module);
    ASSERT_EQ(0, result);
    EXPECT_STREQ("{KEPT}", devices[0].guid) << "the list is appended to, not cleared";
    std::string monitorName = std::string(getenv("VIDLOOM_TEST_SINK")) + ".monitor";
    const AudioInputDevice* monitor = FindByGuid(devices, SourceGuidText(monitorName));
    const AudioInputDevice* sine = FindByGuid(devices, SourceGuidText(getenv("VIDLOOM_TEST_SINE_SOURCE")));
    const AudioInputDevice* longName = FindByGuid(devices, SourceGuidText("vidloom_long_name"));
    ASSERT_TRUE(monitor && sine && longName);
    EXPECT_STREQ("Monitor of Test_Output", monitor->name);
    EXPECT_TRUE(monitor->monitor);
    EXPECT_FALSE(sine->monitor);
    // cut before the split character, so the text stays valid UTF-8
    EXPECT_EQ(description.substr(0, 253),
              std::string(longName->name, strnlen(longName->name, sizeof longName->name)));

    std::string mix, mic;
    FindMixAndMicDevices(devices, mix, mic);
    EXPECT_EQ(monitor->guid, mix) << "the monitor is the stereo mix on any desktop";
    EXPECT_EQ(longName->guid, mic) << "the newest other source is the microphone";
}

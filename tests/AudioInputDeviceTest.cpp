// vidloom:sanitize
// Device ids, the device list of the test sound server, and the rule that
// picks the stereo mix and the microphone.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "capture/AudioInputDevice.h"
#include "capture/GUID.h"
#include "tests/support/SoundCheck.h"
#include "tests/support/TestEnv.h"

namespace {

AudioInputDevice Device(const char* name, const char* guid, bool monitor = false) {
    AudioInputDevice device;
    snprintf(device.name, sizeof device.name, "%s", name);
    snprintf(device.guid, sizeof device.guid, "%s", guid);
    device.monitor = monitor;
    return device;
}

const AudioInputDevice* FindByGuid(const std::vector<AudioInputDevice>& devices,
                                   const std::string& guid) {
    for (const AudioInputDevice& device : devices) {
        if (guid == device.guid)
            return &device;
    }
    return nullptr;
}

bool ValidUtf8(const char* text) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (*p) {
        int extra = *p < 0x80 ? 0 : (*p >> 5) == 6 ? 1 : (*p >> 4) == 14 ? 2 : (*p >> 3) == 30 ? 3 : -1;
        if (extra < 0)
            return false;
        for (int i = 1; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
        }
        p += extra + 1;
    }
    return true;
}

}  // namespace

TEST(Guid, TextFormAndItsReverse) {
    GUID guid = {0x0123ABCD, 0x4567, 0x89EF, {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10}};
    std::string text;
    GuidToString(guid, text);
    EXPECT_EQ("{0123ABCD-4567-89EF-FEDC-BA9876543210}", text);

    GUID back = {};
    EXPECT_EQ(0, GuidFromString(text.c_str(), back));
    EXPECT_TRUE(back == guid);

    GUID lower = {};
    EXPECT_EQ(0, GuidFromString("{0123abcd-4567-89ef-fedc-ba9876543210}", lower));
    EXPECT_TRUE(lower == guid) << "lower-case digits parse like upper-case ones";

    // braces and dashes are not checked; any other character is the digit 0
    GUID odd = {};
    GuidFromString("x0123ABCD_4567_89EF_FEDC_BA98765432Z0!", odd);
    GUID expected = guid;
    expected.Data4[7] = 0x00;
    EXPECT_TRUE(odd == expected);

    GUID fromName = {};
    GuidFromSourceName("alsa_input.pci-0000_00_1f.3.analog-stereo", fromName);
    std::string nameText;
    GuidToString(fromName, nameText);
    EXPECT_EQ(38u, nameText.size());
    EXPECT_EQ('5', nameText[15]) << "a name-based (version 5) id";
    GUID again = {};
    GuidFromSourceName("alsa_input.pci-0000_00_1f.3.analog-stereo", again);
    EXPECT_TRUE(again == fromName) << "the same source keeps its id";
    GuidFromSourceName("alsa_input.pci-0000_00_1f.3.analog-stereo.monitor", again);
    EXPECT_FALSE(again == fromName);
}

TEST(Guid, ShortTextIsNeverReadPastItsEnd) {
    // exactly sized heap copies: the address sanitizer catches any read past them
    const char* texts[] = {"", "{", "{0123ABCD", "{0123ABCD-4567-89EF-FEDC-BA98765432"};
    for (const char* source : texts) {
        size_t length = strlen(source);
        char* text = static_cast<char*>(malloc(length + 1));
        memcpy(text, source, length + 1);
        GUID guid;
        EXPECT_EQ(-1, GuidFromString(text, guid)) << source;
        free(text);
    }
    GUID partial;
    GuidFromString("{0123ABCD-45", partial);
    EXPECT_EQ(0x0123ABCDu, partial.Data1);
    EXPECT_EQ(0x4500, partial.Data2) << "missing digits count as 0";
    GUID none;
    EXPECT_EQ(-1, GuidFromString(nullptr, none));
    EXPECT_EQ(0u, none.Data1);
}

TEST(FindMixAndMicDevices, ChineseNameRule) {
    std::string mix = "stale";
    std::string mic = "stale";
    std::vector<AudioInputDevice> both = {Device("麦克风 (Realtek High Definition Audio)", "{MIC}"),
                                          Device("立体声混音 (Realtek High Definition Audio)", "{MIX}")};
    FindMixAndMicDevices(both, mix, mic);
    EXPECT_EQ("{MIX}", mix);
    EXPECT_EQ("{MIC}", mic);

    FindMixAndMicDevices({Device("麦克风 (USB)", "{MIC}")}, mix, mic);
    EXPECT_EQ("", mix) << "no stereo-mix name: empty";
    EXPECT_EQ("{MIC}", mic);

    FindMixAndMicDevices({Device("麦克风和立体声混音", "{BOTH}")}, mix, mic);
    EXPECT_EQ("{BOTH}", mix) << "a name with both words is the stereo mix only";
    EXPECT_EQ("", mic);

    FindMixAndMicDevices({Device("麦克风 1", "{FIRST}"), Device("立体声混音", "{MIX}"),
                          Device("麦克风 2", "{SECOND}")},
                         mix, mic);
    EXPECT_EQ("{SECOND}", mic) << "the later microphone wins";

    FindMixAndMicDevices({}, mix, mic);
    EXPECT_EQ("", mix);
    EXPECT_EQ("", mic);
}

TEST(FindMixAndMicDevices, MonitorIsTheStereoMixOnAnyDesktop) {
    std::string mix;
    std::string mic;
    FindMixAndMicDevices({Device("Monitor of Built-in Audio", "{MON}", true),
                          Device("Built-in Audio Analog Stereo", "{IN}")},
                         mix, mic);
    EXPECT_EQ("{MON}", mix);
    EXPECT_EQ("{IN}", mic) << "any other source counts as the microphone";

    // a name filling its whole field without a terminator is still searched safely
    AudioInputDevice full = Device("", "{FULL}");
    memset(full.name, 'x', sizeof full.name);
    FindMixAndMicDevices({full}, mix, mic);
    EXPECT_EQ("{FULL}", mic);
}

TEST(EnumerateSoundCaptureDevices, ListsTheTestServersSources) {
    REQUIRE_PULSE();
    LogCatcher log;
    std::vector<AudioInputDevice> devices = {Device("kept", "{KEPT}")};
    ASSERT_EQ(0, EnumerateSoundCaptureDevices(devices)) << log.All();
    ASSERT_GE(devices.size(), 3u);
    EXPECT_STREQ("{KEPT}", devices[0].guid) << "the list is appended to, not cleared";

    std::string monitorName = std::string(getenv("VIDLOOM_TEST_SINK")) + ".monitor";
    const AudioInputDevice* monitor = FindByGuid(devices, SourceGuidText(monitorName));
    const AudioInputDevice* sine = FindByGuid(devices, SourceGuidText(getenv("VIDLOOM_TEST_SINE_SOURCE")));
    ASSERT_TRUE(monitor) << log.All();
    ASSERT_TRUE(sine) << log.All();
    EXPECT_TRUE(monitor->monitor);
    EXPECT_STREQ("Monitor of Test_Output", monitor->name);
    EXPECT_STREQ("module-null-sink.c", monitor->driver);
    EXPECT_FALSE(sine->monitor);
    EXPECT_STREQ("module-sine-source.c", sine->driver);
    EXPECT_EQ(38u, strlen(sine->guid));
    EXPECT_TRUE(log.Has(std::string("sound card : ") + sine->name + " , driver: module-sine-source.c , GUID=" +
                        sine->guid + ",\n"))
        << log.All();

    std::string mix;
    std::string mic;
    FindMixAndMicDevices(devices, mix, mic);
    EXPECT_EQ(monitor->guid, mix) << "the monitor is the stereo mix";
    EXPECT_EQ(sine->guid, mic) << "the sine source is the microphone";
}

TEST(EnumerateSoundCaptureDevices, LongDescriptionIsCutToTheField) {
    REQUIRE_PULSE();
    // 1 + 100 x 3 bytes: the field's last byte falls inside a character
    std::string description = "A";
    for (int i = 0; i < 100; ++i)
        description += "长";
    int status = -1;
    std::string module = RunCommand("pactl load-module module-sine-source source_name=vidloom_long_name "
                                    "source_properties=device.description=" + description, &status);
    ASSERT_EQ(0, status) << module;

    std::vector<AudioInputDevice> devices;
    int result = EnumerateSoundCaptureDevices(devices);
    RunCommand("pactl unload-module " + module);
    ASSERT_EQ(0, result);
    const AudioInputDevice* device = FindByGuid(devices, SourceGuidText("vidloom_long_name"));
    ASSERT_TRUE(device);
    EXPECT_EQ(253u, strnlen(device->name, sizeof device->name)) << "cut before the split character";
    EXPECT_TRUE(ValidUtf8(device->name));
    EXPECT_EQ(0, memcmp(device->name, description.data(), 253));
}

TEST(EnumerateSoundCaptureDevices, NoServerFailsWithTheLogLine) {
    const char* saved = getenv("PULSE_SERVER");
    std::string server = saved ? saved : "";
    setenv("PULSE_SERVER", "unix:/nonexistent/vidloom-no-server", 1);
    LogCatcher log;
    std::vector<AudioInputDevice> devices = {Device("kept", "{KEPT}")};
    int result = EnumerateSoundCaptureDevices(devices);
    if (saved)
        setenv("PULSE_SERVER", server.c_str(), 1);
    else
        unsetenv("PULSE_SERVER");
    EXPECT_EQ(-1, result);
    EXPECT_EQ(1u, devices.size()) << "the vector keeps what it had";
    EXPECT_TRUE(log.Has("Sound Capture: Failed to enumberate sound capture devices \n")) << log.All();
}

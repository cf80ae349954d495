// IPluginCLAP with a plug-in class of the test's own, for adapter paths QuorlEQ itself does not reach.

#include "clap/IPluginCLAP.h"
#include "tests/clap/ClapTestHost.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace ondrell::test {
namespace {

// Sends every SysEx message it receives back to the host, at the same offset.
class SysExEcho final : public IPluginCLAP {
 public:
  explicit SysExEcho(const CreationArgs& args) : IPluginCLAP(MakeConfig(), args) {}
  void ProcessSysEx(const SysExMsg& msg) override { SendSysEx(msg); }

 private:
  static Config MakeConfig() {
    Config config;
    config.channelIO = "2-2";
    config.pluginName = "SysEx Echo";
    return config;
  }
};

// Output events as a host keeps them: the records are copied, a SysEx payload is read later through its pointer.
struct PointerSink {
  struct Pushed {
    uint32_t time;
    const uint8_t* buffer;
    uint32_t size;
  };
  std::vector<Pushed> sysex;
  clap_output_events_t list{this, [](const clap_output_events_t* l, const clap_event_header_t* h) {
                              if (h->type == CLAP_EVENT_MIDI_SYSEX) {
                                const auto* e = reinterpret_cast<const clap_event_midi_sysex_t*>(h);
                                static_cast<PointerSink*>(l->ctx)->sysex.push_back({h->time, e->buffer, e->size});
                              }
                              return true;
                            }};
};

TEST(ClapAdapter, SysExSentToTheHostKeepsItsBytesAfterTheCall) {
  TestHost host;
  const clap_plugin_descriptor_t descriptor{CLAP_VERSION, "test.sysex-echo", "SysEx Echo", "", "", "", "", "1.0.0",
                                            "", nullptr};
  const clap_plugin_t* p =
      std::make_unique<SysExEcho>(CreationArgs{&descriptor, host.Host()}).release()->ClapPlugin();
  ASSERT_TRUE(p->init(p));
  ASSERT_TRUE(p->activate(p, 48000, 1, 64));
  ASSERT_TRUE(p->start_processing(p));

  const std::vector<uint8_t> now = {0xF0, 0x7D, 1, 2, 3, 0xF7};
  const std::vector<uint8_t> later = {0xF0, 0x7D, 9, 8, 0xF7};
  EventList events;
  for (const auto& [time, bytes] : {std::pair{10u, &now}, std::pair{100u, &later}}) {
    clap_event_midi_sysex_t e{};
    e.header = {sizeof e, time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_MIDI_SYSEX, 0};
    e.buffer = bytes->data();
    e.size = static_cast<uint32_t>(bytes->size());
    events.Add(e);
  }

  std::vector<float> l(64), r(64);
  float* channels[] = {l.data(), r.data()};
  clap_audio_buffer_t in{channels, nullptr, 2, 0, 0}, out{channels, nullptr, 2, 0, 0};
  const EventList none;
  PointerSink first, second;
  clap_process_t process{};
  process.frames_count = 64;
  process.audio_inputs = &in;
  process.audio_outputs = &out;
  process.audio_inputs_count = process.audio_outputs_count = 1;
  process.in_events = events.List();
  process.out_events = &first.list;
  ASSERT_NE(p->process(p, &process), CLAP_PROCESS_ERROR);
  process.in_events = none.List();
  process.out_events = &second.list;

  // The message due at 100 stays queued; the one sent still reads as itself once the call is over.
  ASSERT_EQ(first.sysex.size(), 1u);
  EXPECT_EQ(first.sysex[0].time, 10u);
  EXPECT_EQ(std::vector<uint8_t>(first.sysex[0].buffer, first.sysex[0].buffer + first.sysex[0].size), now);

  ASSERT_NE(p->process(p, &process), CLAP_PROCESS_ERROR);
  ASSERT_EQ(second.sysex.size(), 1u);
  EXPECT_EQ(second.sysex[0].time, 36u);
  EXPECT_EQ(std::vector<uint8_t>(second.sysex[0].buffer, second.sysex[0].buffer + second.sysex[0].size), later);

  p->stop_processing(p);
  p->deactivate(p);
  p->destroy(p);
}

TEST(ClapAdapter, HostVersionPacksItsThreeNumbers) {
  const clap_plugin_descriptor_t descriptor{CLAP_VERSION, "test.sysex-echo", "SysEx Echo", "", "", "", "", "1.0.0",
                                            "", nullptr};
  struct Case {
    const char* text;
    int64_t major, minor, patch;
  };
  for (const Case& c : {Case{"1.2.3", 1, 2, 3}, Case{"5.1", 5, 1, 0}, Case{"7", 7, 0, 0}, Case{"", 0, 0, 0},
                        Case{nullptr, 0, 0, 0}, Case{"beta", 0, 0, 0}, Case{"2.-1.300", 2, -1, 300},
                        Case{"40000.2.1", 40000, 2, 1}}) {
    HostOptions options;
    options.version = c.text;
    TestHost host(options);
    const SysExEcho plugin(CreationArgs{&descriptor, host.Host()});
    // A version beyond what an int holds comes out modulo 2^32.
    const auto expected = static_cast<int32_t>(static_cast<uint32_t>((c.major * 65536 + c.minor * 256 + c.patch) &
                                                                     0xffffffff));
    EXPECT_EQ(plugin.GetHostVersion(), expected) << (c.text ? c.text : "(null)");
  }
}

}  // namespace
}  // namespace ondrell::test

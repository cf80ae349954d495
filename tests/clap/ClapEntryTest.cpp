// The exported entry and the factory, through the built QuorlEQ.clap: init counting, path check, refusals.

#include "tests/clap/ClapTestHost.h"

#include "tools/host/DynamicLibrary.h"
#include <gtest/gtest.h>

#include <string>

namespace ondrell::test {
namespace {

const clap_plugin_factory_t* Factory() {
  return static_cast<const clap_plugin_factory_t*>(ClapEntry().get_factory(CLAP_PLUGIN_FACTORY_ID));
}

TEST(ClapEntry, DeclaresVersionAndRefusesEmptyPaths) {
  const auto& entry = ClapEntry();
  EXPECT_EQ(entry.clap_version.major, 1u);
  EXPECT_EQ(entry.clap_version.minor, 2u);
  EXPECT_EQ(entry.clap_version.revision, 10u);
  EXPECT_FALSE(entry.init(nullptr));
  EXPECT_FALSE(entry.init(""));
  EXPECT_EQ(Factory(), nullptr);  // still not initialised
}

TEST(ClapEntry, BeforeInitOnlyTheCountAnswers) {
  const auto& entry = ClapEntry();
  entry.deinit();  // on an uninitialised library: nothing happens
  EXPECT_EQ(entry.get_factory(CLAP_PLUGIN_FACTORY_ID), nullptr);
  ASSERT_TRUE(entry.init(ClapPath()));
  const auto* factory = Factory();
  ASSERT_NE(factory, nullptr);
  entry.deinit();
  EXPECT_EQ(factory->get_plugin_count(factory), 1u);
  EXPECT_EQ(factory->get_plugin_descriptor(factory, 0), nullptr);
  TestHost host;
  EXPECT_EQ(factory->create_plugin(factory, host.Host(), "com.ondrell-audio.quorleq"), nullptr);
}

TEST(ClapEntry, ExportsTheFactoryThatGetFactoryReturns) {
  ClapEntry();  // loads the library, also when this test runs in a process of its own
  host::DynamicLibrary library;
  ASSERT_TRUE(library.OpenIfLoaded(QUORL_CLAP_PATH));
  const void* exported = library.Symbol("clap_factory");
  ASSERT_TRUE(ClapEntry().init(ClapPath()));
  EXPECT_NE(exported, nullptr);
  EXPECT_EQ(exported, Factory());
  ClapEntry().deinit();
}

TEST(ClapEntry, InitCountsSamePathAndRefusesAnotherPath) {
  const auto& entry = ClapEntry();
  ASSERT_TRUE(entry.init(ClapPath()));
  EXPECT_TRUE(entry.init(ClapPath()));
  EXPECT_FALSE(entry.init("/some/other/QuorlEQ.clap"));
  const auto* factory = Factory();
  ASSERT_NE(factory, nullptr);
  entry.deinit();
  EXPECT_NE(factory->get_plugin_descriptor(factory, 0), nullptr);  // one init still outstanding
  entry.deinit();
  EXPECT_EQ(factory->get_plugin_descriptor(factory, 0), nullptr);
  EXPECT_EQ(entry.get_factory(CLAP_PLUGIN_FACTORY_ID), nullptr);
}

TEST(ClapEntry, DescriptorFields) {
  const auto& entry = ClapEntry();
  ASSERT_TRUE(entry.init(ClapPath()));
  const auto* factory = Factory();
  const clap_plugin_descriptor_t* d = factory->get_plugin_descriptor(factory, 0);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(factory->get_plugin_descriptor(factory, 1), nullptr);
  EXPECT_EQ(d->clap_version.major, 1u);
  EXPECT_EQ(d->clap_version.minor, 2u);
  EXPECT_EQ(d->clap_version.revision, 10u);
  EXPECT_STREQ(d->id, "com.ondrell-audio.quorleq");
  EXPECT_STREQ(d->name, "Quorl EQ");
  EXPECT_STREQ(d->vendor, "Ondrell Audio");
  EXPECT_STREQ(d->url, "https://ondrell-audio.com");
  ASSERT_NE(d->manual_url, nullptr);
  EXPECT_STREQ(d->manual_url, "");
  EXPECT_STREQ(d->support_url, d->url);
  EXPECT_STREQ(d->version, "4.1.0");
  EXPECT_STREQ(d->description, "Quorl EQ audio plug-in");
  ASSERT_NE(d->features, nullptr);
  EXPECT_STREQ(d->features[0], "audio-effect");
  EXPECT_STREQ(d->features[1], "equalizer");
  EXPECT_STREQ(d->features[2], "stereo");
  EXPECT_EQ(d->features[3], nullptr);
  entry.deinit();
}

TEST(ClapEntry, FactoryIdentifierMustMatchExactly) {
  const auto& entry = ClapEntry();
  ASSERT_TRUE(entry.init(ClapPath()));
  for (const char* id : {"clap.plugin-factory ", "CLAP.plugin-factory", "clap.preset-discovery-factory/2", ""})
    EXPECT_EQ(entry.get_factory(id), nullptr) << id;
  EXPECT_EQ(entry.get_factory(nullptr), nullptr);
  EXPECT_NE(entry.get_factory("clap.plugin-factory"), nullptr);
  entry.deinit();
}

TEST(ClapEntry, CreatePluginRefusals) {
  const auto& entry = ClapEntry();
  ASSERT_TRUE(entry.init(ClapPath()));
  const auto* factory = Factory();
  const char* id = factory->get_plugin_descriptor(factory, 0)->id;
  TestHost good;
  HostOptions draftOptions;
  draftOptions.clapVersion = clap_version_t{0, 9, 0};
  TestHost draft(draftOptions);
  EXPECT_EQ(factory->create_plugin(factory, nullptr, id), nullptr);
  EXPECT_EQ(factory->create_plugin(factory, draft.Host(), id), nullptr);
  EXPECT_EQ(factory->create_plugin(factory, good.Host(), nullptr), nullptr);
  for (const char* wrong : {"com.ondrell-audio.quorle", "com.ondrell-audio.quorleq2", "Com.ondrell-audio.quorleq"})
    EXPECT_EQ(factory->create_plugin(factory, good.Host(), wrong), nullptr) << wrong;
  const clap_plugin_t* plugin = factory->create_plugin(factory, good.Host(), id);
  ASSERT_NE(plugin, nullptr);
  EXPECT_EQ(plugin->desc, factory->get_plugin_descriptor(factory, 0));
  EXPECT_TRUE(plugin->init(plugin));
  plugin->destroy(plugin);
  entry.deinit();
}

}  // namespace
}  // namespace ondrell::test

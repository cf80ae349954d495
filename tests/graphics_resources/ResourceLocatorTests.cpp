// Finding resources by name: case-insensitive embedded lookup, files, reading bytes in place, the scale order
// and the name variants of a picture.

#include "graphics/ModuleResources.h"
#include "graphics/ResourceLocator.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace ondrell::graphics;

namespace {

// A scratch folder removed with the fixture.
class TempFolder
{
public:
  TempFolder()
  {
    mPath = std::filesystem::temp_directory_path() /
            ("quorl_resources_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(mPath);
  }
  ~TempFolder() { std::filesystem::remove_all(mPath); }

  std::string Write(const std::string& name, const std::string& content = "0123456789") const
  {
    const std::filesystem::path file = mPath / name;
    std::ofstream(file, std::ios::binary) << content;
    return file.string();
  }
  std::string Path(const std::string& name) const { return (mPath / name).string(); }

private:
  std::filesystem::path mPath;
};

} // namespace

TEST(LocateResource, FindsEmbeddedResourcesIgnoringCaseOfNameAndType)
{
  const struct
  {
    const char* name;
    const char* type;
    const char* stored;
  } cases[] = {
    {"QEQ_back.png", "png", "\"QEQ_BACK.PNG\""},
    {"qeq_BACK.PNG", "png", "\"QEQ_BACK.PNG\""},
    {"Qeq_Back.Png", "PNG", "\"QEQ_BACK.PNG\""},
    {"QEQ_back@2x.png", "png", "\"QEQ_BACK@2X.PNG\""},
    {"smallknob.png", "png", "\"SMALLKNOB.PNG\""},
    {"x271_frame_stack_fixed_again@2x.png", "Png", "\"X271_FRAME_STACK_FIXED_AGAIN@2X.PNG\""},
    {"QEQ_OS.png", "png", "\"QEQ_OS.PNG\""},
    {"Roboto-Regular.ttf", "ttf", "\"ROBOTO-REGULAR.TTF\""},
  };
  for (const auto& c : cases)
  {
    std::string result = "unchanged";
    EXPECT_EQ(LocateResource(c.name, c.type, result), ResourceLocation::WinResource) << c.name;
    EXPECT_EQ(result, c.stored) << c.name;
  }
}

TEST(LocateResource, RefusesNamesThatAreNotResourcesOrFiles)
{
  const struct
  {
    const char* name;
    const char* type;
  } cases[] = {
    {"", "png"},
    {"QEQ_back.png", "ttf"},              // right name, wrong type
    {"Roboto-Regular.ttf", "png"},
    {"QEQ_back", "png"},                  // no partial matches
    {"QEQ_back.png ", "png"},
    {"\"QEQ_BACK.PNG\"", "png"},          // the stored form is not a name
    {"QEQ_back@3x.png", "png"},
    {"/nonexistent/QEQ_back.png", "png"},
  };
  for (const auto& c : cases)
  {
    std::string result = "unchanged";
    EXPECT_EQ(LocateResource(c.name, c.type, result), ResourceLocation::NotFound) << c.name;
    EXPECT_EQ(result, "unchanged") << c.name;
  }
}

TEST(LocateResource, FallsBackToAnExistingFileButNotADirectory)
{
  const TempFolder folder;
  const std::string file = folder.Write("picture.png");
  std::string result;
  EXPECT_EQ(LocateResource(file, "png", result), ResourceLocation::FilePath);
  EXPECT_EQ(result, file);

  std::filesystem::create_directories(folder.Path("folder.png"));
  result.clear();
  EXPECT_EQ(LocateResource(folder.Path("folder.png"), "png", result), ResourceLocation::NotFound);
  EXPECT_TRUE(result.empty());
}

TEST(ReadEmbeddedResource, ReturnsTheBytesInPlace)
{
  for (const char* type : {"PNG", "TTF"})
  {
    for (const ModuleResource& resource : ListModuleResources(type))
    {
      std::size_t size = 0;
      const unsigned char* bytes = ReadEmbeddedResource(resource.storedName, resource.type, size);
      EXPECT_EQ(bytes, resource.bytes.data()) << resource.storedName;
      EXPECT_EQ(size, resource.bytes.size()) << resource.storedName;
    }
  }
  std::size_t size = 0;
  EXPECT_NE(ReadEmbeddedResource("\"qeq_back.png\"", "png", size), nullptr);
}

TEST(ReadEmbeddedResource, MissingNamesAndWrongTypesGiveNull)
{
  const struct
  {
    const char* stored;
    const char* type;
  } cases[] = {
    {"QEQ_BACK.PNG", "PNG"}, // without its quotes
    {"\"QEQ_BACK.PNG\"", "TTF"},
    {"\"NOTHING.PNG\"", "PNG"},
    {"", "PNG"},
  };
  for (const auto& c : cases)
  {
    std::size_t size = 99;
    EXPECT_EQ(ReadEmbeddedResource(c.stored, c.type, size), nullptr) << c.stored;
    EXPECT_EQ(size, 0u) << c.stored;
  }
}

TEST(ScaleOrder, TriesTheTargetThenThreeThenDownwards)
{
  const struct
  {
    int target;
    std::vector<int> expected;
  } cases[] = {
    {1, {1, 3, 2}}, {2, {2, 3, 1}}, {3, {3, 2, 1}}, {4, {4, 3, 2, 1}}, {8, {8, 3, 2, 1}}, {0, {}}, {-2, {}},
  };
  for (const auto& c : cases)
  {
    const ScaleOrder order = MakeScaleOrder(c.target);
    EXPECT_EQ(std::vector<int>(order.begin(), order.end()), c.expected) << "target " << c.target;
  }
  EXPECT_EQ(NextScale(1, 2), 0); // the order for 1 ends after 2
  EXPECT_EQ(NextScale(5, 0), 0);
}

TEST(BitmapNameForScale, InsertsTheScaleBeforeTheExtensionOfTheFileName)
{
  const struct
  {
    const char* name;
    int scale;
    const char* expected;
  } cases[] = {
    {"QEQ_back.png", 1, "QEQ_back.png"},
    {"QEQ_back.png", 2, "QEQ_back@2x.png"},
    {"knob", 2, "knob@2x"},
    {"archive.tar.png", 3, "archive.tar@3x.png"},
    {"pics.v2/knob", 2, "pics.v2/knob@2x"},       // a dot in a folder name is no extension
    {"pics.v2\\knob", 2, "pics.v2\\knob@2x"},
    {"pics/knob.png", 2, "pics/knob@2x.png"},
    {".png", 2, "@2x.png"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(BitmapNameForScale(c.name, c.scale), c.expected) << c.name << " at " << c.scale;
}

TEST(FindBitmapResource, PicksTheFirstAvailableResolutionInScaleOrder)
{
  const struct
  {
    int target;
    int source;
    const char* stored;
  } cases[] = {
    {1, 1, "\"QEQ_BACK.PNG\""},
    {2, 2, "\"QEQ_BACK@2X.PNG\""},
    {3, 2, "\"QEQ_BACK@2X.PNG\""}, // there is no 3x picture
    {4, 2, "\"QEQ_BACK@2X.PNG\""},
  };
  for (const auto& c : cases)
  {
    std::string result;
    int source = 0;
    EXPECT_EQ(FindBitmapResource("qeq_back.png", "png", result, c.target, source), ResourceLocation::WinResource);
    EXPECT_EQ(source, c.source) << "target " << c.target;
    EXPECT_EQ(result, c.stored) << "target " << c.target;
  }

  std::string result;
  int source = 0;
  EXPECT_EQ(FindBitmapResource("missing.png", "png", result, 2, source), ResourceLocation::NotFound);
  EXPECT_EQ(FindBitmapResource("QEQ_back.png", "jpg", result, 1, source), ResourceLocation::NotFound);
}

TEST(FindBitmapResource, FilesFollowTheSameOrder)
{
  const TempFolder folder;
  folder.Write("pic.png");
  folder.Write("pic@3x.png");
  const std::string name = folder.Path("pic.png");

  std::string result;
  int source = 0;
  EXPECT_EQ(FindBitmapResource(name, "png", result, 2, source), ResourceLocation::FilePath);
  EXPECT_EQ(source, 3);
  EXPECT_EQ(result, folder.Path("pic@3x.png"));

  EXPECT_EQ(FindBitmapResource(name, "png", result, 1, source), ResourceLocation::FilePath);
  EXPECT_EQ(source, 1);
  EXPECT_EQ(result, name);
}

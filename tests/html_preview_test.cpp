// The 3D preview page as written: fed straight through the sample's sink calls, then read back
// (the scene's JSON by nlohmann::json, each data block decoded from base64 here) and compared with
// the chains that were fed: point runs, places along the chains, start dots, box and caption.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "previews/html_preview.h"
#include "previews/preview_sample.h"
#include "temp_file.h"
#include "tools/viewer/viewer_page.h"

namespace {

using dustweave::HtmlPreview;
using dustweave::PreviewSample;
using nlohmann::json;
using Points = std::vector<std::array<double, 3>>;

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// Chains made point by point, each joined to the one before it, as the host streams them.
void FeedChain(PreviewSample& sample, uint64_t& next, const Points& positions, bool dot = false) {
  int64_t previous = -1;
  for (const auto& p : positions) {
    int64_t point = static_cast<int64_t>(next++);
    sample.AddPoint(static_cast<uint64_t>(point), p.data());
    if (previous < 0 && dot) sample.AddPolygon("Dust", 1, &point);
    int64_t pair[2] = {previous, point};
    if (previous >= 0) sample.AddPolygon("Dust", 2, pair);
    previous = point;
  }
}

std::vector<uint8_t> DecodeBase64(const std::string& text) {
  static const std::string ALPHABET = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::vector<uint8_t> bytes;
  uint32_t bits = 0;
  int held = 0;
  for (char c : text) {
    size_t value = ALPHABET.find(c);
    if (value == std::string::npos) continue;  // line ends, padding
    bits = bits << 6 | static_cast<uint32_t>(value);
    if ((held += 6) >= 8) bytes.push_back(static_cast<uint8_t>(bits >> (held -= 8)));
  }
  return bytes;
}

// The page read back: its text, its scene and its blocks' bytes.
struct Page {
  std::string text;
  json scene;
  std::vector<uint8_t> positions, places, pieces, starts;

  static std::string Between(const std::string& text, const std::string& open, const std::string& close) {
    size_t at = text.find(open);
    if (at == std::string::npos) return "<missing>";
    at += open.size();
    return text.substr(at, text.find(close, at) - at);
  }
  static std::string Block(const std::string& text, const char* id) {
    return Between(text, std::string("<script type=\"application/octet-stream\" id=\"dustweave-") + id + "\">",
                   "</script>");
  }
  std::vector<float> Floats(const std::vector<uint8_t>& bytes) const {
    std::vector<float> values(bytes.size() / 4);
    std::memcpy(values.data(), bytes.data(), values.size() * 4);
    return values;
  }
  std::vector<uint32_t> Counts() const {
    std::vector<uint32_t> values(pieces.size() / 4);
    std::memcpy(values.data(), pieces.data(), values.size() * 4);
    return values;
  }
};

Page WritePage(PreviewSample& sample, const std::string& input = "") {
  sample.Finish();
  TempFile file(".html");
  HtmlPreview page;
  std::string error;
  if (!input.empty()) page.SetSource(input, "every sample");
  EXPECT_TRUE(page.Open(file.path(), &error)) << error;
  EXPECT_TRUE(page.Finish(sample, &error)) << error;
  std::ifstream in(file.path(), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  Page read{text.str(), {}, {}, {}, {}, {}};
  read.scene = json::parse(Page::Between(read.text, "<script type=\"application/json\" id=\"dustweave-scene\">",
                                         "</script>"));
  read.positions = DecodeBase64(Page::Block(read.text, "positions"));
  read.places = DecodeBase64(Page::Block(read.text, "places"));
  read.pieces = DecodeBase64(Page::Block(read.text, "pieces"));
  read.starts = DecodeBase64(Page::Block(read.text, "starts"));
  return read;
}

TEST(HtmlPreview, BlocksHoldTheSamplesChainsAsRunsOfPoints) {
  // A chain led by a dot; one broken by a point that cannot be drawn (two runs); a lone dot.
  PreviewSample sample;
  uint64_t next = 0;
  FeedChain(sample, next, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}}, true);
  FeedChain(sample, next, {{0, 1, 0}, {1, 1, 0}, {NaN, 1, 0}, {3, 1, 0}, {4, 1, 0.5}});
  FeedChain(sample, next, {{5, 5, 5}}, true);
  Page page = WritePage(sample);

  EXPECT_EQ(page.text.rfind(dustweave::ViewerPageBefore(), 0), 0u);
  EXPECT_EQ(page.text.substr(page.text.size() - dustweave::ViewerPageAfter().size()), dustweave::ViewerPageAfter());
  EXPECT_EQ(page.scene["pointCount"], 8);
  EXPECT_EQ(page.scene["pieceCount"], 3);
  EXPECT_EQ(page.scene["startCount"], 2);
  EXPECT_EQ(page.scene["up"], "+Y");
  EXPECT_EQ(page.scene["bounds"]["min"], json::parse("[0, 0, 0]"));
  EXPECT_EQ(page.scene["bounds"]["max"], json::parse("[5, 5, 5]"));
  EXPECT_EQ(page.Floats(page.positions),
            (std::vector<float>{0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0, 0, 1, 0, 1, 1, 0, 3, 1, 0, 4, 1, 0.5}));
  // Places along the whole chain: 3 segments, then 4 of which the middle two are not drawn.
  EXPECT_EQ(page.places, (std::vector<uint8_t>{0, 85, 170, 255, 0, 64, 191, 255}));
  EXPECT_EQ(page.Counts(), (std::vector<uint32_t>{4, 2, 2}));
  EXPECT_EQ(page.Floats(page.starts), (std::vector<float>{0, 0, 0, 5, 5, 5}));
  std::vector<uint8_t> ramp = DecodeBase64(page.scene["ramp"].get<std::string>());
  ASSERT_EQ(ramp.size(), 768u);
  EXPECT_NE(std::vector<uint8_t>(ramp.begin(), ramp.begin() + 3), std::vector<uint8_t>(ramp.end() - 3, ramp.end()));
}

TEST(HtmlPreview, LongChainKeptWholeIsOneRunAcrossItsPieces) {
  // 600 segments make three pieces of the sample; all kept, they join into one run of 601 points.
  PreviewSample sample;
  uint64_t next = 0;
  Points line;
  for (int j = 0; j <= 600; ++j) line.push_back({double(j), 0, 0});
  FeedChain(sample, next, line);
  Page page = WritePage(sample);
  EXPECT_EQ(page.Counts(), std::vector<uint32_t>{601});
  ASSERT_EQ(page.places.size(), 601u);
  EXPECT_EQ(page.places[300], 128);
  EXPECT_EQ(page.Floats(page.positions)[3 * 600], 600.0f);
}

TEST(HtmlPreview, EmptyRunGivesAPageWithEmptyBlocks) {
  PreviewSample sample;
  Page page = WritePage(sample, "nothing.pfx");
  EXPECT_EQ(page.scene["pointCount"], 0);
  EXPECT_EQ(page.scene["pieceCount"], 0);
  EXPECT_EQ(page.scene["startCount"], 0);
  EXPECT_EQ(page.scene["bounds"]["min"], json::parse("[0, 0, 0]"));
  EXPECT_TRUE(page.positions.empty() && page.places.empty() && page.pieces.empty() && page.starts.empty());
  EXPECT_EQ(page.scene["caption"].size(), 2u);
}

TEST(HtmlPreview, CaptionKeepsItsTextAndNeverEndsTheScriptEarly) {
  // "<" would let a name close the script; a byte of another code page is no UTF-8.
  PreviewSample sample;
  uint64_t next = 0;
  FeedChain(sample, next, {{0, 0, 0}, {1, 1, 1}});
  Page page = WritePage(sample, "</script><!-- caf\xC3\xA9 \"\\\" \xE9.pfx");
  std::string json = Page::Between(page.text, "id=\"dustweave-scene\">", "</script>");
  EXPECT_EQ(json.find('<'), std::string::npos) << json;
  EXPECT_NE(json.find("\\u003c/script>\\u003c!--"), std::string::npos) << json;
  ASSERT_GE(page.scene["caption"].size(), 2u);
  EXPECT_EQ(page.scene["caption"][0],
            "</script><!-- caf\xC3\xA9 \"\\\" \xEF\xBF\xBD.pfx \xC2\xB7 every sample");
  EXPECT_EQ(page.scene["caption"][1], "mirod_dustweave \xC2\xB7 2 points \xC2\xB7 1 polygon");
}

TEST(HtmlPreview, PageLeftUncommittedLeavesNothing) {
  TempFile file(".html");
  {
    HtmlPreview page;
    std::string error;
    ASSERT_TRUE(page.Open(file.path(), &error)) << error;
  }
  EXPECT_FALSE(std::filesystem::exists(file.path()));
}

}  // namespace

// Conformance over the shared BMP suite: every decoded pixel is compared with
// the reference decodings wherever they give a defined answer, and every file
// of every set decodes without touching memory it should not.
//
// A pixel's reference is the colour both reference decoders agree on; where
// they differ, the one the suite's author confirmed, when exactly one is. A
// pixel that is fully transparent in its reference was left undefined by the
// file (skipped run-length pixels) and is not compared.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/image/bmp.h"
#include "runtime/image/decoders.h"
#include "tests/image/bmp_builder.h"

namespace {

namespace fs = std::filesystem;
using bmp_test::Bytes;
using bmp_test::Decoded;

const fs::path SUITE = BMPSUITE_DIR;

struct Entry {
    std::string path;
    std::string bits;
    std::string set;
    std::string masks;
    std::string author;  // which reference decodings the author's picture confirms
};

std::vector<std::string> split(const std::string& line, char sep) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, sep);) fields.push_back(field);
    return fields;
}

std::vector<Entry> manifest(const std::string& set) {
    std::ifstream in(SUITE / "MANIFEST.tsv");
    std::vector<Entry> entries;
    std::string line;
    std::getline(in, line);  // column names
    while (std::getline(in, line)) {
        std::vector<std::string> f = split(line, '\t');
        if (f.size() >= 16 && f[6] == set) entries.push_back({f[0], f[1], f[6], f[10], f[15]});
    }
    return entries;
}

Bytes read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The one decoder the author's picture confirms, or "" when it confirms none
// or both.
std::string confirmed_decoder(const std::string& author) {
    const std::string prefix = "matches: ";
    if (author.rfind(prefix, 0) != 0) return "";
    std::string rest = author.substr(prefix.size());
    if (rest.find(',') != std::string::npos) return "";
    return rest.substr(0, rest.find(' '));
}

struct Reference {
    GdkPixbuf* image = nullptr;
    ~Reference() {
        if (image) g_object_unref(image);
    }
    uint32_t rgba(int x, int y) const {
        const guchar* p = gdk_pixbuf_get_pixels(image) + y * gdk_pixbuf_get_rowstride(image) + x * 4;
        return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
    }
};

void load(Reference& ref, const std::string& decoder, const std::string& path) {
    fs::path png = SUITE / "ref" / decoder / fs::path(path).replace_extension(".png");
    if (fs::exists(png)) ref.image = gdk_pixbuf_new_from_file(png.c_str(), nullptr);
}

// Channels narrower than 8 bits are widened by shifting, the references may
// scale them; channels wider than 8 bits may round where we truncate.
int tolerance(const Entry& e) {
    if (e.masks == "-") return e.bits == "16" ? 7 : 0;
    int worst = 0;
    for (const std::string& hex : split(e.masks, '/')) {
        int width = __builtin_popcount(static_cast<uint32_t>(std::stoul(hex, nullptr, 16)));
        if (width == 0) continue;
        worst = std::max(worst, width < 8 ? (1 << (8 - width)) - 1 : width > 8 ? 1 : 0);
    }
    return worst;
}

bool close_enough(uint32_t rgb, uint32_t rgba, int tol) {
    for (int shift : {16, 8, 0})
        if (std::abs(int(rgb >> shift & 255) - int(rgba >> (shift + 8) & 255)) > tol) return false;
    return true;
}

struct Comparison {
    int compared = 0;
    int wrong = 0;
    std::string first_wrong;
};

// The reference pixel at (x, y), or false when there is none to hold to.
bool reference_at(const Reference& im, const Reference& gp, const std::string& confirmed, int x, int y,
                  uint32_t* out) {
    const Reference* chosen = nullptr;
    // Only colour is decoded, so references that differ in alpha alone agree.
    if (im.image && gp.image && im.rgba(x, y) >> 8 == gp.rgba(x, y) >> 8 && (gp.rgba(x, y) & 255)) chosen = &im;
    else if (confirmed == "imagemagick" && im.image) chosen = &im;
    else if (confirmed == "gdk-pixbuf" && gp.image) chosen = &gp;
    if (!chosen || (chosen->rgba(x, y) & 255) == 0) return false;
    *out = chosen->rgba(x, y);
    return true;
}

Comparison compare(const Entry& e, const Decoded& d) {
    Reference im, gp;
    load(im, "imagemagick", e.path);
    load(gp, "gdk-pixbuf", e.path);
    Comparison c;
    for (const Reference* r : {&im, &gp}) {
        if (r->image && (gdk_pixbuf_get_width(r->image) != d.width || gdk_pixbuf_get_height(r->image) != d.height ||
                         gdk_pixbuf_get_n_channels(r->image) != 4)) {
            c.wrong = 1;
            c.first_wrong = "reference size differs";
            return c;
        }
    }
    const std::string confirmed = confirmed_decoder(e.author);
    const int tol = tolerance(e);
    for (int y = 0; y < d.height; y++) {
        for (int x = 0; x < d.width; x++) {
            uint32_t want;
            if (!reference_at(im, gp, confirmed, x, y, &want)) continue;
            c.compared++;
            uint32_t got = d.pixels[size_t(y) * d.width + x];
            if (close_enough(got, want, tol)) continue;
            if (c.wrong++ == 0) {
                char text[96];
                snprintf(text, sizeof text, "(%d,%d) got %06x want %08x", x, y, got, want);
                c.first_wrong = text;
            }
        }
    }
    return c;
}

class BmpSuite : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(SUITE / "MANIFEST.tsv")) GTEST_SKIP() << "BMP suite not found at " << SUITE;
        decoders_start();
        bmp_decoder_register();
    }

    // Decodes every file of a set; returns how many were accepted.
    int check_set(const std::string& set, bool all_pixels_defined) {
        int accepted = 0;
        for (const Entry& e : manifest(set)) {
            SCOPED_TRACE(e.path);
            // An exact-size heap copy, so any read past the data is reported.
            Decoded d = bmp_test::decode(read_file(SUITE / e.path));
            EXPECT_TRUE(d.guards_intact);
            if (!d.accepted) continue;
            accepted++;
            Comparison c = compare(e, d);
            EXPECT_EQ(c.wrong, 0) << c.first_wrong;
            if (all_pixels_defined) {
                EXPECT_EQ(c.compared, d.width * d.height);
            }
        }
        return accepted;
    }
};

TEST_F(BmpSuite, GoodSetDecodesToTheReferences) {
    size_t files = manifest("good").size();
    EXPECT_EQ(files, 27u);
    EXPECT_EQ(check_set("good", true), int(files));
}

TEST_F(BmpSuite, QuestionableSetMatchesWhereTheReferencesAreDefined) { check_set("questionable", false); }

TEST_F(BmpSuite, BadAndRelatedSetsDecodeSafely) {
    check_set("bad", false);
    check_set("related", false);
}

}  // namespace

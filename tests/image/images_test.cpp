// The image registry and the reference window, on a private X server.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include "runtime/image/images.h"
#include "tests/support/xtest.h"

namespace {

const auto* const display = xtest::add_display_environment(xtest::WITHOUT_WINDOW_MANAGER);

int finalized = 0;
void count_finalize(gpointer, GObject*) { finalized++; }

// An image object that counts its own end.
GObject* new_object() {
    GObject* object = G_OBJECT(gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 4, 4));
    g_object_weak_ref(object, count_finalize, nullptr);
    return object;
}

class Images : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
        finalized = 0;
        images_start();
    }
    void TearDown() override { EXPECT_EQ(log.problems(), ""); }

    xtest::ToolkitLogWatch log;
};

TEST_F(Images, ReferenceWindowIsAHiddenTenByTenTopLevel) {
    GdkWindow* window = image_reference_window();
    ASSERT_NE(window, nullptr);
    gint width = 0, height = 0;
    gdk_drawable_get_size(GDK_DRAWABLE(window), &width, &height);
    EXPECT_EQ(width, 10);
    EXPECT_EQ(height, 10);
    EXPECT_EQ(gdk_window_get_window_type(window), GDK_WINDOW_TOPLEVEL);
    EXPECT_FALSE(gdk_window_is_visible(window));
    images_end();
    EXPECT_EQ(image_reference_window(), nullptr);
    EXPECT_EQ(finalized, 0);
}

TEST_F(Images, AccessorsReadTheRecord) {
    GObject* numbered = new_object();
    EXPECT_EQ(image_adopt(3, numbered, 640, 480, 24, 8), reinterpret_cast<intptr_t>(numbered));
    EXPECT_EQ(image_object(3), numbered);
    EXPECT_EQ(image_width(3), 640);
    EXPECT_EQ(image_height(3), 480);
    EXPECT_EQ(image_depth(3), 24);
    EXPECT_EQ(image_depth(3, 5), 24);
    EXPECT_EQ(image_depth(3, IMAGE_DEPTH_SOURCE), 8);

    ObjectId handle = image_adopt(OBJECT_ANY, new_object(), 2, 3, 32, 4);
    ASSERT_NE(handle, 0);
    EXPECT_EQ(image_depth(handle, IMAGE_DEPTH_SOURCE), 4);

    for (ObjectId absent : {ObjectId{0}, ObjectId{4}, ObjectId{99}}) {
        SCOPED_TRACE(absent);
        EXPECT_EQ(image_object(absent), nullptr);
        EXPECT_EQ(image_width(absent), 0);
        EXPECT_EQ(image_height(absent), 0);
        EXPECT_EQ(image_depth(absent, IMAGE_DEPTH_SOURCE), 0);
    }
    EXPECT_EQ(image_adopt(5, nullptr, 1, 1, 24, 24), 0);
    images_end();
}

TEST_F(Images, ReleaseDropsTheImageAndItsReference) {
    image_adopt(1, new_object(), 1, 1, 24, 24);
    image_release(1);
    EXPECT_EQ(finalized, 1);
    EXPECT_EQ(image_object(1), nullptr);
    image_release(1);  // nothing there any more
    image_release(7);
    EXPECT_EQ(finalized, 1);
    images_end();
}

TEST_F(Images, ReusingANumberReleasesTheOldImage) {
    image_adopt(2, new_object(), 1, 1, 24, 24);
    GObject* second = new_object();
    image_adopt(2, second, 5, 5, 24, 24);
    EXPECT_EQ(finalized, 1);
    EXPECT_EQ(image_object(2), second);
    images_end();
}

TEST_F(Images, EndReleasesEveryImage) {
    image_adopt(0, new_object(), 1, 1, 24, 24);
    image_adopt(9, new_object(), 1, 1, 24, 24);
    image_adopt(OBJECT_ANY, new_object(), 1, 1, 24, 24);
    images_end();
    EXPECT_EQ(finalized, 3);
    EXPECT_EQ(image_object(0), nullptr);
}

TEST_F(Images, SizesBeyondSixteenBitsAreClamped) {
    image_adopt(0, new_object(), 70000, -70000, 24, 24);
    EXPECT_EQ(image_width(0), INT16_MAX);
    EXPECT_EQ(image_height(0), INT16_MIN);
    images_end();
}

}  // namespace

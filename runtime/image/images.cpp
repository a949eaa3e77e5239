// The image registry and the reference window. Images enter the registry only
// through image_adopt; this layer itself never makes one.
#include "runtime/image/images.h"

#include <gdk/gdk.h>

namespace {

ObjectRegistry* images;
GdkWindow* reference_window;

ImageObject* image_get(ObjectId id) { return static_cast<ImageObject*>(registry_get(images, id)); }

// Image fields are 16-bit; larger values are clamped rather than wrapped so
// that a big image never reads back as negative.
int16_t narrow(int32_t value) {
    return static_cast<int16_t>(value > INT16_MAX ? INT16_MAX : value < INT16_MIN ? INT16_MIN : value);
}

}  // namespace

void images_start() {
    if (!images) images = registry_new(sizeof(ImageObject), REGISTRY_INCREMENT, image_release);
    gdk_rgb_init();
    if (reference_window) return;
    GdkWindowAttr attributes = {};
    attributes.width = 10;
    attributes.height = 10;
    attributes.window_type = GDK_WINDOW_TOPLEVEL;
    reference_window = gdk_window_new(nullptr, &attributes, 0);
}

void images_end() {
    registry_free_all(images);
    if (reference_window) gdk_window_destroy(reference_window);
    reference_window = nullptr;
}

void image_release(ObjectId id) {
    ImageObject* image = image_get(id);
    if (!image) return;
    g_object_unref(image->object);
    registry_free(images, id);
}

intptr_t image_adopt(ObjectId id, GObject* object, int32_t width, int32_t height, int32_t depth,
                     int32_t source_depth) {
    if (!object) return 0;
    auto* image = static_cast<ImageObject*>(registry_alloc(images, id));
    if (!image) return 0;
    *image = {object, narrow(width), narrow(height), narrow(depth), narrow(source_depth)};
    return id == OBJECT_ANY ? reinterpret_cast<intptr_t>(image) : reinterpret_cast<intptr_t>(object);
}

GObject* image_object(ObjectId id) {
    ImageObject* image = image_get(id);
    return image ? image->object : nullptr;
}

int32_t image_width(ObjectId id) {
    ImageObject* image = image_get(id);
    return image ? image->width : 0;
}

int32_t image_height(ObjectId id) {
    ImageObject* image = image_get(id);
    return image ? image->height : 0;
}

int32_t image_depth(ObjectId id, int32_t selector) {
    ImageObject* image = image_get(id);
    if (!image) return 0;
    return selector == IMAGE_DEPTH_SOURCE ? image->source_depth : image->depth;
}

GdkWindow* image_reference_window() { return reference_window; }

// The image registry: numbered images, each a toolkit object with its size
// and depth, released when the program ends. Also the hidden reference window
// that gives toolkit image objects their screen, visual and colour map.
#pragma once

#include <gdk/gdk.h>

#include <cstdint>

#include "runtime/core/registry.h"

struct ImageObject {
    GObject* object;  // holds one reference; non-null while the image exists
    int16_t width;
    int16_t height;
    int16_t depth;         // bits per pixel of the image
    int16_t source_depth;  // bits per pixel of the source it came from
};

// Selector of image_depth for the source's depth.
constexpr int32_t IMAGE_DEPTH_SOURCE = -2;

// Makes the registry, sets up the toolkit's RGB colour handling and creates
// the reference window. Needs the toolkit initialised.
void images_start();
// Releases every image, then the hidden reference window.
void images_end();

// Registry release callback: drops the image's reference and its record.
void image_release(ObjectId id);

// Puts a toolkit object into the registry under `id` (a number, or
// OBJECT_ANY), taking over one reference to it. Returns the object for a
// number, the record's handle for OBJECT_ANY, 0 when the object is null or
// the registry has no room; on 0 the reference stays with the caller.
intptr_t image_adopt(ObjectId id, GObject* object, int32_t width, int32_t height, int32_t depth,
                     int32_t source_depth);

// Accessors; each gives 0 when there is no such image.
GObject* image_object(ObjectId id);
int32_t image_width(ObjectId id);
int32_t image_height(ObjectId id);
// The source's depth for IMAGE_DEPTH_SOURCE, else the image's own depth.
int32_t image_depth(ObjectId id, int32_t selector = 0);

// The hidden 10 x 10 window made by images_start; null before it or when the
// toolkit could not make it.
GdkWindow* image_reference_window();

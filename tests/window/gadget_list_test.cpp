// Gadget lists: which container is current, and how each window's saved
// state comes back when it becomes current again.
#include "tests/window/window_support.h"

namespace {

const auto* const display = xtest::add_display_environment(xtest::WITHOUT_WINDOW_MANAGER);

GtkObject* object_of(ObjectId id) { return GTK_OBJECT(window_object(id)->window); }
GtkWidget* list_of(ObjectId id) {
    return static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(window_object(id)->window), "ko_gadgetlist"));
}

using GadgetList = WindowTest;

TEST_F(GadgetList, NullChangesNothingAndNamesTheCurrentObject) {
    GadgetContext* ctx = gadget_context();
    EXPECT_EQ(gadget_list_use(nullptr), nullptr);
    ASSERT_NE(window_open(1, 0, 0, 100, 80, u"a", 0), 0);
    EXPECT_EQ(gadget_list_use(nullptr), object_of(1));
    EXPECT_EQ(ctx->current_list, list_of(1));
}

TEST_F(GadgetList, SwitchingBackRestoresEachWindowsListAndEntries) {
    GadgetContext* ctx = gadget_context();
    ASSERT_NE(window_open(1, 0, 0, 100, 80, u"a", 0), 0);
    ctx->depth = 2;
    ctx->entries[0] = 11;
    ctx->entries[1] = 12;
    ASSERT_NE(window_open(2, 0, 0, 100, 80, u"b", 0), 0);
    EXPECT_EQ(ctx->current_object, object_of(2));
    EXPECT_EQ(ctx->current_list, list_of(2));
    EXPECT_EQ(ctx->depth, 0);
    ctx->depth = 1;
    ctx->entries[0] = 21;

    EXPECT_EQ(gadget_list_use(object_of(1)), object_of(2));
    EXPECT_EQ(ctx->current_list, list_of(1));
    ASSERT_EQ(ctx->depth, 2);
    EXPECT_EQ(ctx->entries[0], 11);
    EXPECT_EQ(ctx->entries[1], 12);
    // Using the current object again keeps its live state.
    EXPECT_EQ(gadget_list_use(object_of(1)), object_of(1));
    EXPECT_EQ(ctx->depth, 2);
    EXPECT_EQ(ctx->current_list, list_of(1));

    gadget_list_use(object_of(2));
    EXPECT_EQ(ctx->depth, 1);
    EXPECT_EQ(ctx->entries[0], 21);
}

TEST_F(GadgetList, NoGadgetListFlagAndPlainContainers) {
    GadgetContext* ctx = gadget_context();
    ASSERT_NE(window_open(1, 0, 0, 100, 80, u"a", 0), 0);
    ASSERT_NE(window_open(2, 0, 0, 100, 80, u"b", WINDOW_NO_GADGET_LIST), 0);
    EXPECT_EQ(ctx->current_object, object_of(1));
    gadget_list_use(object_of(2));
    EXPECT_EQ(ctx->current_list, list_of(2));
    // A container that is not a window is its own list.
    GtkWidget* box = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(g_object_get_data(G_OBJECT(window_object(1)->window), "ko_vbox")), box, FALSE, FALSE, 0);
    EXPECT_EQ(gadget_list_use(GTK_OBJECT(box)), object_of(2));
    EXPECT_EQ(ctx->current_list, box);
    // Only containers can hold gadgets.
    GtkObject* adjustment = gtk_adjustment_new(0, 0, 1, 1, 1, 1);
    g_object_ref_sink(adjustment);
    EXPECT_EQ(gadget_list_use(adjustment), GTK_OBJECT(box));
    EXPECT_EQ(ctx->current_list, box);
    g_object_unref(adjustment);
}

TEST_F(GadgetList, DestroyingTheCurrentObjectLeavesNoListCurrent) {
    GadgetContext* ctx = gadget_context();
    ASSERT_NE(window_open(1, 0, 0, 100, 80, u"a", 0), 0);
    ASSERT_NE(window_open(2, 0, 0, 100, 80, u"b", 0), 0);
    window_close(1);  // not current: nothing changes
    EXPECT_EQ(ctx->current_object, object_of(2));
    EXPECT_EQ(ctx->current_list, list_of(2));
    ctx->depth = 3;
    ASSERT_NE(window_open(3, 0, 0, 100, 80, u"c", WINDOW_NO_GADGET_LIST), 0);
    window_close(2);
    EXPECT_EQ(ctx->current_object, nullptr);
    EXPECT_EQ(ctx->current_list, nullptr);
    EXPECT_EQ(ctx->depth, 0);
    EXPECT_EQ(gadget_list_use(nullptr), nullptr);
}

// Windows that window_open did not make get their list on first use: in
// their box, as their only child, or not at all next to another child.
TEST_F(GadgetList, ForeignWindowsGetAListWhereOneFits) {
    GadgetContext* ctx = gadget_context();
    GtkWidget* boxed = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* box = gtk_vbox_new(FALSE, 0);
    gtk_container_add(GTK_CONTAINER(boxed), box);
    gadget_list_use(GTK_OBJECT(boxed));
    auto* list = static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(boxed), "ko_gadgetlist"));
    ASSERT_TRUE(GTK_IS_FIXED(list));
    EXPECT_EQ(gtk_widget_get_parent(list), box);
    EXPECT_TRUE(gtk_fixed_get_has_window(GTK_FIXED(list)));
    EXPECT_EQ(ctx->current_list, list);

    GtkWidget* empty = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gadget_list_use(GTK_OBJECT(empty));
    EXPECT_EQ(gtk_widget_get_parent(ctx->current_list), empty);

    GtkWidget* other = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_container_add(GTK_CONTAINER(other), gtk_label_new("x"));
    gadget_list_use(GTK_OBJECT(other));
    EXPECT_EQ(ctx->current_object, GTK_OBJECT(other));
    EXPECT_EQ(ctx->current_list, nullptr);
    for (GtkWidget* w : {boxed, empty, other}) gtk_widget_destroy(w);
    EXPECT_EQ(ctx->current_object, nullptr);
}

}  // namespace

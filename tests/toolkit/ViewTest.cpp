// Reference counts, dirty rule, value handling and hit testing of View and Control, without a window.
#include "ToolkitTestSupport.h"

#include "toolkit/Frame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

TEST(ViewRules, HitTestIncludesTheRightAndBottomEdges) {
    std::vector<std::string> log;
    RecordingView view({10, 20, 30, 40}, "v", &log);
    for (int v = 15; v <= 45; ++v) {
        for (int h = 5; h <= 35; ++h) {
            const bool expected = h >= 10 && h <= 30 && v >= 20 && v <= 40;
            ASSERT_EQ(view.hitTest({h, v}, 0), expected) << h << "," << v;
            ASSERT_EQ(view.hitTest({h, v}, kButtonPrimary | kModControl), expected);
        }
    }
}

TEST(ViewRules, SetBoundsMovesTheHitTest) {
    std::vector<std::string> log;
    RecordingView view({10, 20, 30, 40}, "v", &log);
    view.setBounds({50, 60, 70, 80});
    EXPECT_TRUE(view.isDirty());
    EXPECT_TRUE(view.hitTest({70, 80}, 0));
    EXPECT_FALSE(view.hitTest({20, 30}, 0));
    Rect bounds;
    view.bounds(bounds);
    EXPECT_EQ(bounds.left, 50);
    EXPECT_EQ(bounds.bottom, 80);
}

TEST(ViewRules, IntersectsCountsTouchingEdges) {
    std::vector<std::string> log;
    RecordingView view({10, 10, 20, 20}, "v", &log);
    EXPECT_TRUE(view.intersects({20, 20, 30, 30}));
    EXPECT_TRUE(view.intersects({0, 0, 10, 10}));
    EXPECT_TRUE(view.intersects({12, 12, 13, 13}));
    EXPECT_FALSE(view.intersects({21, 0, 30, 30}));
    EXPECT_FALSE(view.intersects({0, 0, 9, 30}));
    EXPECT_FALSE(view.intersects({0, 21, 30, 30}));
}

TEST(ViewRules, DefaultsAndReferenceCount) {
    std::vector<std::string> log;
    int destroyed = 0;
    auto* view = new RecordingView({0, 0, 5, 5}, "v", &log, &destroyed);
    EXPECT_EQ(view->referenceCount(), 1);
    EXPECT_FALSE(view->isDirty());
    EXPECT_TRUE(view->inputEnabled());
    EXPECT_FALSE(view->transparent());
    EXPECT_EQ(view->owningEditor(), nullptr);
    view->View::setDirty(true);
    EXPECT_TRUE(view->isDirty());
    view->View::draw(nullptr);
    EXPECT_FALSE(view->isDirty());
    view->redraw(); // no frame: nothing happens
    view->retain();
    EXPECT_EQ(view->referenceCount(), 2);
    view->release();
    EXPECT_EQ(destroyed, 0);
    view->release();
    EXPECT_EQ(destroyed, 1);
}

TEST(ControlRules, ANewControlIsDirtyUntilDrawn) {
    CountingControl control({0, 0, 10, 10});
    EXPECT_EQ(control.value(), 0.0f);
    EXPECT_EQ(control.lastDrawnValue(), 1.0f);
    EXPECT_EQ(control.defaultValue(), 0.5f);
    EXPECT_EQ(control.minValue(), 0.0f);
    EXPECT_EQ(control.maxValue(), 1.0f);
    EXPECT_EQ(control.wheelStep(), 0.1f);
    EXPECT_TRUE(control.isDirty());
    control.draw(nullptr);
    EXPECT_FALSE(control.isDirty());
    EXPECT_EQ(control.lastDrawnValue(), 0.0f);
}

TEST(ControlRules, DirtyExactlyWhenTheValueMovedOrTheFlagIsSet) {
    // Over many values, including -1.0 itself: setDirty(true) always makes the control dirty and a draw
    // always makes it clean again.
    std::vector<float> values = {-1.0f, 0.0f, -0.0f, 1.0f, 0.5f, -0.5f, 2.0f, 1e-30f};
    unsigned seed = 12345u;
    for (int i = 0; i < 200; ++i) {
        seed = seed * 1664525u + 1013904223u;
        values.push_back(static_cast<float>(seed % 20001u) / 10000.0f - 1.0f);
    }
    CountingControl control({0, 0, 10, 10});
    for (float value : values) {
        control.setValue(value);
        control.draw(nullptr);
        ASSERT_FALSE(control.isDirty()) << value;
        ASSERT_EQ(control.lastDrawnValue(), value);
        control.setDirty(true);
        ASSERT_TRUE(control.isDirty()) << value;
        ASSERT_EQ(control.lastDrawnValue(), value == -1.0f ? 0.0f : -1.0f) << value;
        control.updateIfDirty(nullptr);
        ASSERT_FALSE(control.isDirty()) << value;
        control.setValue(value + 0.25f);
        ASSERT_TRUE(control.isDirty()) << value;
        control.setValue(value);
        ASSERT_FALSE(control.isDirty()) << "back at the painted value" << value;
    }
    control.setValue(std::numeric_limits<float>::quiet_NaN());
    control.draw(nullptr);
    EXPECT_TRUE(control.isDirty()) << "an unordered comparison counts as different";
}

TEST(ControlRules, SetValueStoresAsGivenAndClampValueLimits) {
    CountingControl control({0, 0, 10, 10});
    control.setValue(1.5f);
    EXPECT_EQ(control.value(), 1.5f);
    control.clampValue();
    EXPECT_EQ(control.value(), 1.0f);
    control.setMin(0.2f);
    control.setValue(0.1f);
    control.clampValue();
    EXPECT_EQ(control.value(), 0.2f);
    control.setValue(0.7f);
    control.clampValue();
    EXPECT_EQ(control.value(), 0.7f);
    control.setMax(0.6f);
    control.clampValue();
    EXPECT_EQ(control.value(), 0.6f);
}

TEST(ControlRules, SettersAndBackgroundOffset) {
    CountingControl control({12, 34, 56, 78});
    control.setTag(5);
    EXPECT_EQ(control.tag(), 5);
    control.setDefaultValue(0.25f);
    EXPECT_EQ(control.defaultValue(), 0.25f);
    control.setWheelStep(0.05f);
    EXPECT_EQ(control.wheelStep(), 0.05f);
    control.setLastDrawnValue(0.0f);
    EXPECT_FALSE(control.isDirty());
    control.alignBackgroundOffset();
    control.setBackground(nullptr);
    EXPECT_EQ(control.background(), nullptr);
    control.pumpIdle(); // no frame: nothing happens
    EXPECT_EQ(control.owningEditor(), nullptr);
}

TEST(ControlRules, AFrameGivesTheEditorToItsChildren) {
    RecordingEditor editor;
    Frame frame({0, 0, 50, 50}, nullptr, &editor);
    auto* control = new CountingControl({0, 0, 10, 10});
    ASSERT_TRUE(frame.addChild(control));
    EXPECT_EQ(control->owningEditor(), &editor);
    control->pumpIdle();
    EXPECT_EQ(editor.idlePumps, 1);
}

#include "ui/ScrollBox.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QScrollBar>

namespace ui {
namespace {

TEST(ScrollBox, ScrollsToChildrenPlacedBelowTheViewport) {
  TScrollBox box;
  box.resize(200, 100);
  box.show();
  auto* far = new QLabel("far down", box.Content());
  far->setGeometry(10, 500, 80, 20);
  far->show();
  EXPECT_EQ(box.Content()->height(), 520);
  EXPECT_GE(box.verticalScrollBar()->maximum(), 400);

  box.SetVerticalPosition(120);
  EXPECT_EQ(box.VerticalPosition(), 120);

  far->move(10, 300);
  EXPECT_EQ(box.Content()->height(), 320);

  delete far;
  EXPECT_LE(box.Content()->height(), 100);
  EXPECT_EQ(box.verticalScrollBar()->maximum(), 0);
}

}  // namespace
}  // namespace ui

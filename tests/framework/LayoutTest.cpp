// Controls laid out by their alignment and anchors as their container is resized, and
// splitters sharing the room between two aligned controls.

#include <gtest/gtest.h>

#include "framework/Forms.h"

namespace vader {
namespace {

template <typename Control>
Control* Put(TWinControl& parent, int left, int top, int width, int height) {
  auto* control = new Control(&parent);
  control->SetParent(&parent);
  control->SetBounds(left, top, width, height);
  return control;
}

struct Bounds {
  int left, top, width, height;
  bool operator==(const Bounds&) const = default;
};
Bounds Of(const TControl& c) { return {c.Left(), c.Top(), c.Width(), c.Height()}; }

TEST(Layout, AnchorsKeepDistancesToTheirEdgesAndSurviveShrinking) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 400, 300);
  auto* fixed = Put<TLabel>(form, 10, 10, 50, 20);
  auto* grid = Put<TPanel>(form, 10, 40, 380, 200);
  grid->SetAnchors({akLeft, akTop, akRight, akBottom});
  auto* button = Put<TButton>(form, 310, 260, 80, 28);
  button->SetAnchors({akRight, akBottom});
  auto* centred = Put<TLabel>(form, 150, 10, 100, 20);
  centred->SetAnchors({akTop});

  form.ResizedOnScreen(600, 500);
  EXPECT_EQ(Of(*fixed), (Bounds{10, 10, 50, 20}));
  EXPECT_EQ(Of(*grid), (Bounds{10, 40, 580, 400}));
  EXPECT_EQ(Of(*button), (Bounds{510, 460, 80, 28}));
  EXPECT_EQ(Of(*centred), (Bounds{250, 10, 100, 20}));

  // Below the designed size nothing goes negative, and growing again gives the same layout
  // back (the distances are measured from the design, not from the last size).
  form.ResizedOnScreen(20, 20);
  EXPECT_EQ(grid->Width(), 0);
  EXPECT_EQ(grid->Height(), 0);
  form.ResizedOnScreen(600, 500);
  EXPECT_EQ(Of(*grid), (Bounds{10, 40, 580, 400}));
  EXPECT_EQ(Of(*button), (Bounds{510, 460, 80, 28}));
}

TEST(Layout, AlignedControlsShareTheRoomInOrderAndASplitterMovesTheBorder) {
  TForm form(nullptr);
  form.SetBounds(0, 0, 400, 300);
  form.SetPadding({4, 4, 4, 4});
  auto* top = Put<TPanel>(form, 0, 0, 10, 100);
  top->SetAlign(alTop);
  auto* splitter = new TSplitter(&form);
  splitter->SetParent(&form);
  splitter->SetAlign(alTop);
  auto* status = Put<TPanel>(form, 0, 0, 10, 30);
  status->SetAlign(alBottom);
  auto* client = Put<TPanel>(form, 0, 0, 10, 10);
  client->SetAlign(alClient);
  auto* inner = Put<TButton>(*client, 0, 0, 50, 20);
  inner->SetAnchors({akRight, akBottom});

  EXPECT_EQ(Of(*top), (Bounds{4, 4, 392, 100}));
  EXPECT_EQ(Of(*splitter), (Bounds{4, 104, 392, 6}));
  EXPECT_EQ(Of(*status), (Bounds{4, 266, 392, 30}));
  EXPECT_EQ(Of(*client), (Bounds{4, 110, 392, 156}));

  form.ResizedOnScreen(500, 400);
  EXPECT_EQ(Of(*top), (Bounds{4, 4, 492, 100}));
  EXPECT_EQ(Of(*client), (Bounds{4, 110, 492, 256}));
  EXPECT_EQ(Of(*inner), (Bounds{100, 100, 50, 20}));  // followed its panel's growth

  splitter->DragBy(50);
  EXPECT_EQ(splitter->Position(), 150);
  EXPECT_EQ(Of(*client), (Bounds{4, 160, 492, 206}));
  // Neither side goes below the least size, however far the drag.
  splitter->DragBy(1000);
  EXPECT_EQ(client->Height(), splitter->MinSize());
  EXPECT_EQ(splitter->SetPosition(-5), splitter->MinSize());

  status->SetVisible(false);  // its room goes to the client control
  EXPECT_EQ(client->Top() + client->Height(), 396);
}

}  // namespace
}  // namespace vader

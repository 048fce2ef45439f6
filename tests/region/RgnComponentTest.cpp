// The shaped components on real windows (under Wine) and headless ones: the
// outline a TRgn gives its form, what the components paint, the pressed look
// and the click of a TRgnBtn, and their failures with their Shift-JIS texts.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "RegionTestSupport.h"
#include "FormTestSupport.h"
#include "TestSupport.h"
#include "framework/Forms.h"
#include "region/Region.h"
#include "region/RegionData.h"
#include "region/StoredRegion.h"

using regiontest::Draw;
using regiontest::Grey;
using testsupport::Mouse;
using testsupport::PixelAt;

namespace {

constexpr TColor Face = RGBColor(200, 220, 240), Navy = RGBColor(0, 0, 0x80), Red = RGBColor(0xFF, 0, 0);

class TShapeForm : public TForm {
 public:
  explicit TShapeForm(TComponent* AOwner) : TForm(AOwner) {
    SetCaption("形");
    SetBounds(50, 50, 120, 80);
    SetColor(Face);
  }
  const char* ClassName() const override { return "TShapeForm"; }
};

// A component made as loading makes it: properties set, then Loaded().
template <typename T>
T* Loaded(TForm* Form, const char* Name, const std::function<void(T&)>& Set) {
  T* C = new T(Form);
  C->SetName(Name);
  C->BeginLoading();
  Set(*C);
  C->SetParent(Form);
  C->Loaded();
  return C;
}

std::vector<TRect> Moved(std::vector<TRect> Rects, int ScaleX, int DX, int DY) {
  for (TRect& R : Rects) R = TRect{R.Left * ScaleX + DX, R.Top + DY, R.Right * ScaleX + DX, R.Bottom + DY};
  return Rects;
}

std::string MessageOf(const std::function<void()>& F) {
  try {
    F();
  } catch (Exception& E) {
    return E.Message();
  }
  return "(nothing raised)";
}

class RgnComponents : public testsupport::FormAppTest {};

// A picture whose bottom row is the grey key: a roof over a wall.
void House(TBitmap& B) { Draw(B, {"..##..", ".####.", "######", "#....#", "......"}); }

}  // namespace

TEST_F(RgnComponents, ARgnGivesItsFormTheOutlineOfItsPictureAtItsPlaceAndScale) {
  TBitmap Picture;
  House(Picture);
  const std::vector<TRect> Shape = regiontest::CheckedRectangles(BitmapToRegionData(&Picture));
  struct Case {
    const char* What;
    bool AutoSize;
    plat::Bounds Asked;
    int Width, Height, ScaleX;
  } Cases[] = {
      {"auto size keeps the picture's size", true, {10, 20, 50, 50}, 6, 5, 1},
      {"twice the picture's width, twice as wide", false, {10, 20, 12, 5}, 12, 5, 2},
      {"at the origin", true, {0, 0, 6, 5}, 6, 5, 1},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    auto* F = App->CreateForm<TShapeForm>();
    TRgn* R = Loaded<TRgn>(F, "Rgn1", [&](TRgn& R) {
      R.SetRgnBitmap(&Picture);
      R.SetAutoSize(C.AutoSize);
      R.SetBounds(C.Asked.Left, C.Asked.Top, C.Asked.Width, C.Asked.Height);
    });
    EXPECT_EQ(R->Width(), C.Width);
    EXPECT_EQ(R->Height(), C.Height);
    EXPECT_TRUE(R->HasRegion());
    R->SetTransparent(true);
    R->ApplyRegion();
    EXPECT_EQ(F->BorderStyle(), TFormBorderStyle::bsNone);
    EXPECT_TRUE(F->BackgroundClear());
    EXPECT_FALSE(R->Transparent());
    EXPECT_FALSE(R->HasRegion());
    EXPECT_EQ(ReadRegionData(F->WindowRegionData()), Moved(Shape, C.ScaleX, C.Asked.Left, C.Asked.Top));
    // Without a new BuildRegion the form gets its whole rectangle back.
    R->ApplyRegion();
    EXPECT_TRUE(F->WindowRegionData().empty());
    delete F;
  }
}

TEST_F(RgnComponents, TheMainWindowsStoredOutlineIsTheOutlineTheWindowGets) {
  auto* F = App->CreateForm<TShapeForm>();
  TBitmap Picture;
  std::vector<std::uint8_t> Block;
  LoadStoredRegion("Rgn1", Picture, Block);
  TRgn* R = Loaded<TRgn>(F, "Rgn1", [&](TRgn& R) {
    R.SetStoredData(Picture, Block);
    R.SetAutoSize(true);
  });
  R->ApplyRegion();
  EXPECT_EQ(Block.size(), 576u);
  EXPECT_EQ(F->WindowRegionData(), Block);
}

TEST_F(RgnComponents, FailuresCarryTheirTextsAndLeaveNothingBehind) {
  auto* F = App->CreateForm<TShapeForm>();
  TBitmap Empty, Picture;
  House(Picture);
  const std::vector<std::uint8_t> Data = BitmapToRegionData(&Picture);
  std::vector<std::uint8_t> Broken = Data;
  Broken[8] = 50;  // more rectangles than the block holds

  auto* Orphan = new TRgn(F);
  Orphan->SetName("Rgn9");
  auto* Btn = new TRgnBtn(F);
  Btn->SetName("Btn1");
  struct Case {
    const char* What;
    std::function<void()> Do;
    std::string Message;
  } Cases[] = {
      {"an empty picture", [&] { Orphan->SetRgnBitmap(&Empty); }, "ﾋﾞｯﾄﾏｯﾌﾟが正しくｾｯﾄされていません"},
      {"no region data", [&] { Orphan->BuildRegion(); }, "Rgn9 のﾘｰｼﾞｮﾝ情報がありません"},
      {"data without a picture",
       [&] {
         Orphan->SetStoredData(Empty, Data);
         Orphan->BuildRegion();
       },
       "Rgn9:RgnBitmap のﾋﾞｯﾄﾏｯﾌﾟが正しくありません"},
      {"data the system refuses",
       [&] {
         Orphan->SetStoredData(Picture, Broken);
         Orphan->BuildRegion();
       },
       "ｳｨﾝﾄﾞｳﾘｰｼﾞｮﾝが作成できません"},
      {"no parent", [&] { Orphan->ApplyRegion(); }, "Parentが設定されていません"},
      {"a button without data", [&] { Btn->BuildRegion(); }, "Btn1 のﾘｰｼﾞｮﾝ情報がありません"},
      {"a button's empty glyph",
       [&] {
         Btn->SetGlyph(1, &Picture);
         Btn->SetGlyph(1, &Empty);
       },
       "ﾋﾞｯﾄﾏｯﾌﾟが正しくｾｯﾄされていません"},
      {"a form loading a button without data",
       [&] { Loaded<TRgnBtn>(F, "Btn2", [](TRgnBtn&) {}); }, "Btn2 のﾘｰｼﾞｮﾝ情報がありません"},
  };
  for (const Case& C : Cases) EXPECT_EQ(MessageOf(C.Do), C.Message) << C.What;
  // A conversion that failed leaves neither picture nor data.
  Orphan->SetRgnBitmap(&Picture);
  EXPECT_FALSE(Orphan->RgnData().empty());
  EXPECT_ANY_THROW(Orphan->SetRgnBitmap(&Empty));
  EXPECT_TRUE(Orphan->RgnBitmap().Empty());
  EXPECT_TRUE(Orphan->RgnData().empty());
  EXPECT_TRUE(Btn->Glyph(1).Empty());
  EXPECT_TRUE(Btn->RgnData().empty());
  EXPECT_THROW(Btn->Glyph(4), EListError);
}

TEST_F(RgnComponents, AButtonLooksPressedOnlyOnItsShapeButClicksOnItsRectangle) {
  auto* F = App->CreateForm<TShapeForm>();
  TBitmap Normal, Pressed, Disabled, Empty;
  Draw(Normal, {"......", ".####.", ".####.", ".####.", "......"});
  Draw(Pressed, {"......", ".xxxx.", ".xxxx.", ".xxxx.", "......"});
  Draw(Disabled, {"......", "..##..", "..##..", "..##..", "......"});
  int Clicks = 0;
  TRgnBtn* B = Loaded<TRgnBtn>(F, "Btn1", [&](TRgnBtn& B) {
    B.SetGlyph(1, &Normal);
    B.SetGlyph(2, &Pressed);
    B.SetBounds(10, 10, 6, 5);
  });
  B->OnClick = [&](TObject*) { ++Clicks; };
  const std::vector<std::uint8_t> Shape = B->RgnData();
  ShowPainted(F);
  EXPECT_EQ(PixelAt(F, 12, 12), Navy);
  EXPECT_EQ(PixelAt(F, 10, 10), Face);  // the key colour is left out

  // On the transparent corner: no pressed look, but a click.
  Mouse(F, plat::MsgLButtonDown, 10, 10);
  EXPECT_FALSE(B->Pressed());
  ShowPainted(F);
  EXPECT_EQ(PixelAt(F, 12, 12), Navy);
  Mouse(F, plat::MsgLButtonUp, 10, 10);
  EXPECT_EQ(Clicks, 1);

  // On the shape: pressed while held, the second glyph shown.
  Mouse(F, plat::MsgLButtonDown, 12, 12);
  EXPECT_TRUE(B->Pressed());
  ShowPainted(F);
  EXPECT_EQ(PixelAt(F, 12, 12), Red);
  Mouse(F, plat::MsgLButtonUp, 12, 12);
  EXPECT_FALSE(B->Pressed());
  EXPECT_EQ(Clicks, 2);

  // Disabled without a third glyph: the first one. With one: the third.
  B->SetEnabled(false);
  ShowPainted(F);
  EXPECT_EQ(PixelAt(F, 11, 12), Navy);
  B->SetGlyph(3, &Disabled);
  ShowPainted(F);
  EXPECT_EQ(PixelAt(F, 11, 12), Face);
  EXPECT_EQ(PixelAt(F, 12, 12), Navy);

  // Enabled and pressed with an empty second glyph: nothing at all.
  B->SetEnabled(true);
  B->SetGlyph(2, &Empty);
  Mouse(F, plat::MsgLButtonDown, 12, 12);
  ShowPainted(F);
  EXPECT_EQ(PixelAt(F, 12, 12), Face);
  Mouse(F, plat::MsgLButtonUp, 12, 12);

  // A button its own handler disables does not stay pressed for when it is
  // enabled again: the mouse up goes elsewhere.
  B->OnMouseDown = [](TObject* Sender, TMouseButton, int, int) { static_cast<TRgnBtn*>(Sender)->SetEnabled(false); };
  Mouse(F, plat::MsgLButtonDown, 12, 12);
  EXPECT_FALSE(B->Pressed());
  Mouse(F, plat::MsgLButtonUp, 12, 12);
  B->SetEnabled(true);
  EXPECT_FALSE(B->Pressed());

  // The second and third glyphs never change the shape or the size.
  EXPECT_EQ(B->RgnData(), Shape);
  EXPECT_EQ(B->Width(), 6);
  EXPECT_EQ(B->Height(), 5);
}

TEST_F(RgnComponents, AButtonSmallerThanItsGlyphPaintsOnlyItsOwnRectangle) {
  // The glyph is stretched to the button and cut to the glyph's size; the key
  // colour is the bottom-left pixel of what is painted.
  struct Case {
    const char* What;
    std::vector<std::string> Glyph;
    int Width, Height;
    std::vector<std::pair<std::pair<int, int>, TColor>> Pixels;  // form coordinates
  } Cases[] = {
      {"narrower: nothing right of it", {"..##..", ".####.", ".####.", ".####.", "......"}, 3, 5,
       {{{11, 12}, Navy}, {{10, 14}, Face}, {{13, 12}, Face}, {{14, 12}, Face}, {{15, 14}, Face}}},
      {"shorter: its own bottom-left pixel is the key", {".##.", ".##.", "....", "####"}, 4, 2,
       {{{10, 10}, Face}, {{11, 10}, Navy}, {{10, 11}, Face}, {{11, 11}, Face}, {{11, 12}, Face}, {{10, 13}, Face}}},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.What);
    auto* F = App->CreateForm<TShapeForm>();
    TBitmap Glyph;
    Draw(Glyph, C.Glyph);
    Loaded<TRgnBtn>(F, "Btn1", [&](TRgnBtn& B) {
      B.SetGlyph(1, &Glyph);
      B.SetBounds(10, 10, C.Width, C.Height);
    });
    ShowPainted(F);
    for (const auto& [At, Colour] : C.Pixels) EXPECT_EQ(PixelAt(F, At.first, At.second), Colour) << At.first << "," << At.second;
    delete F;
  }
}

TEST_F(RgnComponents, ATransparentRgnShowsWhatIsBeneathItsKeyColour) {
  auto* F = App->CreateForm<TShapeForm>();
  TBitmap Picture;
  House(Picture);
  TRgn* R = Loaded<TRgn>(F, "Rgn1", [&](TRgn& R) {
    R.SetRgnBitmap(&Picture);
    R.SetTransparent(true);
    R.SetBounds(20, 20, 12, 10);  // twice the picture
  });
  ShowPainted(F);
  EXPECT_EQ(PixelAt(F, 20, 20), Face);
  EXPECT_EQ(PixelAt(F, 25, 21), Navy);
  EXPECT_EQ(PixelAt(F, 22, 27), Face);  // inside the wall
  R->SetTransparent(false);
  ShowPainted(F);
  EXPECT_EQ(PixelAt(F, 20, 20), Grey);
  EXPECT_EQ(PixelAt(F, 25, 21), Navy);
}

TEST(RgnClasses, TheComponentsAreMadeByTheirClassNames) {
  TComponent Owner(nullptr);
  for (const char* Name : {"TRgn", "trgnbtn", "TRgnList"}) {
    TComponentFactory Make = GetClass(Name);
    ASSERT_TRUE(Make) << Name;
    TComponent* C = Make(&Owner);
    EXPECT_TRUE(SameText(C->ClassName(), Name));
    EXPECT_EQ(C->Owner(), &Owner);
  }
  EXPECT_FALSE(GetClass("TNoSuchThing"));
  auto* List = static_cast<TRgnList*>(Owner.Components(2));
  EXPECT_TRUE(List->AutoClear());
  EXPECT_TRUE(List->Windows().empty() && List->Regions().empty());
}

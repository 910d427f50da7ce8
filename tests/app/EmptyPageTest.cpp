// The pages whose controls come later say so on the page itself, readably in
// both skin types and both sizes.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QLabel>
#include <QPalette>
#include <QStringList>

#include "app/EmptyPage.h"
#include "app/FrameTestSupport.h"
#include "app/ProgramPages.h"
#include "settings/ConfigStore.h"
#include "ui/QtConversions.h"
#include "ui/SkinResources.h"

namespace talvinor {
namespace {

using testing::TestFrame;

TEST(EmptyPage, SaysCentredInTheSkinsFontAndTextColourThatThePageComesLater) {
  for (int skinType : {1, 2}) {
    for (int sizeClass : {17, 33}) {
      SCOPED_TRACE(::testing::Message() << "skin " << skinType << ", size class " << sizeClass);
      TestFrame t;
      OverrideProgramFolder(Utf8ToWide(TALVINOR_BUNDLE_DIR));  // the bundle's skin bitmap
      GetConfig()->m_SkinTypeId = static_cast<uint32_t>(skinType);
      t.setup.sizeClass = sizeClass;
      t.setup.pages = MakeProgramPage;
      ASSERT_TRUE(t.Make());
      FrameWindow* frame = t.frame.Get();
      RefPtr<SkinResources> skin = SkinResources::Get();
      ASSERT_EQ(skin->EffectiveType(), SkinResources::TypeFromSetting(skinType));

      for (auto [id, skinPage] : {std::pair{PageId::Settings, SkinPage::Settings}}) {
        SCOPED_TRACE(static_cast<int>(id));
        frame->SelectPage(id);
        QApplication::processEvents();
        auto* page = static_cast<EmptyPage*>(frame->PageOf(id));
        StaticText* notice = page->Notice();
        ASSERT_NE(notice, nullptr);
        EXPECT_EQ(notice->GetText(), EmptyPage::kLaterVersionText);
        EXPECT_TRUE(notice->IsVisible());
        EXPECT_EQ(notice->GetFont(), skin->Font(2));

        // Centred on the page, in the page's own text colour over its background.
        int width = 0;
        int height = 0;
        page->GetClientSize(&width, &height);
        const Rect place = notice->GetRect();
        EXPECT_EQ(place.x, width - (place.x + place.width)) << "as much room on either side";
        EXPECT_EQ(place.height, height);
        auto* label = qobject_cast<QLabel*>(notice->Widget());
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->alignment(), Qt::AlignHCenter | Qt::AlignVCenter);
        const PageLayout::Colours& colours = PageLayout::Get(skinPage)->GetColours();
        EXPECT_EQ(label->palette().color(QPalette::WindowText), ToQColor(colours.text));
        EXPECT_NE(colours.text, colours.background);

        // Each line fits the label, so none is broken where the width runs out.
        const QFontMetrics metrics(label->font());
        for (const QString& line : label->text().split('\n'))
          EXPECT_LE(metrics.horizontalAdvance(line), place.width) << line.toStdString();
      }
    }
  }
}

}  // namespace
}  // namespace talvinor

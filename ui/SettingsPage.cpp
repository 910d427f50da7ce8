#include "ui/SettingsPage.h"

#include <sys/stat.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QStyle>
#include <QEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QMouseEvent>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cerrno>
#include <cwchar>

#include "platform/FileSystem.h"
#include "platform/LauncherFile.h"
#include "platform/Unicode.h"
#include "platform/wave/WaveAudio.h"
#include "settings/ConfigStore.h"
#include "ui/MessageBox.h"
#include "ui/PageLayout.h"
#include "ui/QtConversions.h"
#include "ui/SkinResources.h"

namespace talvinor {

namespace {

constexpr int kGroupIdBase = 1400;  // group frames 1401-1410
constexpr int kLabelIdBase = 1500;  // row captions

constexpr const wchar_t* kLauncherExists = L"ショートカットファイルは既に存在しています。";
constexpr const wchar_t* kLauncherMissing = L"ショートカットファイルは存在していません。";
constexpr const wchar_t* kLauncherCreated = L"ショートカットを作成しました。";
constexpr const wchar_t* kLauncherNotCreated = L"ショートカットを作成できませんでした。";
constexpr const wchar_t* kLauncherRemoved = L"ショートカットを削除しました。";

// The page's widget: the plain page surface with the scrolled form in it.
class SettingsSurface : public QWidget {
 public:
  explicit SettingsSurface(QWidget* parent) : QWidget(parent) {}
};

// Wheel turns over a drop-down list scroll the form instead of changing the
// setting under the pointer; the two launcher buttons look like the default
// button while they have the focus.
class FormEventFilter : public QObject {
 public:
  FormEventFilter(QObject* parent, QScrollArea* scroll, QWidget* form)
      : QObject(parent), m_scroll(scroll), m_form(form) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Wheel && m_scroll) {
      auto* wheel = static_cast<QWheelEvent*>(event);
      QScrollBar* bar = m_scroll->verticalScrollBar();
      // Three steps a notch, as the scroll area itself scrolls; fine-grained wheels move less.
      bar->setValue(bar->value() - wheel->angleDelta().y() * bar->singleStep() * 3 / 120);
      return true;
    }
    // A drag with the stylus or a finger on the form between the controls
    // scrolls it as the scroll bar does (Qt's own scroller leaks a
    // recognizer for every form it is given).
    const QEvent::Type type = event->type();
    if (m_scroll && watched == m_form &&
        (type == QEvent::MouseButtonPress || type == QEvent::MouseMove || type == QEvent::MouseButtonRelease)) {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (event->type() == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton) {
        m_dragY = mouse->globalPosition().y();
        return true;
      }
      if (event->type() == QEvent::MouseMove && (mouse->buttons() & Qt::LeftButton) && m_dragY >= 0) {
        QScrollBar* bar = m_scroll->verticalScrollBar();
        const double y = mouse->globalPosition().y();
        bar->setValue(bar->value() - static_cast<int>(y - m_dragY));
        m_dragY = y;
        return true;
      }
      if (event->type() == QEvent::MouseButtonRelease) m_dragY = -1;
    }
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
      if (Window* window = Window::FromWidget(static_cast<QWidget*>(watched));
          window && window->IsKindOf(Button::kTypeCode)) {
        static_cast<Button*>(window)->SetDefault(event->type() == QEvent::FocusIn);
      }
    }
    return false;
  }

 private:
  QScrollArea* m_scroll;
  QObject* m_form;      // compared only: events may come while it is being destroyed
  double m_dragY = -1;  // where the drag was last seen, -1 when none
};

bool FileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

}  // namespace

QWidget* SettingsPage::CreateWidget(QWidget* parent, const std::wstring&, uint32_t) {
  auto* surface = new SettingsSurface(parent);
  auto* layout = new QVBoxLayout(surface);
  layout->setContentsMargins(0, 0, 0, 0);
  m_scroll = new QScrollArea(surface);
  m_scroll->setFrameShape(QFrame::NoFrame);
  m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  m_scroll->setWidgetResizable(false);
  m_scroll->viewport()->setAutoFillBackground(false);
  m_scroll->setAutoFillBackground(false);
  m_content = new QWidget;
  m_content->setAutoFillBackground(false);
  m_scroll->setWidget(m_content);
  layout->addWidget(m_scroll);
  return surface;
}

QWidget* SettingsPage::ClientWidget() const { return m_content ? m_content : Widget(); }

template <typename T>
T* SettingsPage::Add(const std::wstring& text, uint32_t style, int id) {
  RefPtr<T> control = talvinor::Create<T>();
  if (!control->Create(text, kWsChild | kWsVisible | style, {}, this, id)) return nullptr;
  m_controls.push_back(control);
  return control.Get();
}

Window* SettingsPage::Control(int id) const {
  for (const RefPtr<Window>& control : m_controls) {
    if (control->ControlId() == id) return control.Get();
  }
  return nullptr;
}

ComboBox* SettingsPage::List(int id) const {
  Window* control = Control(id);
  return control && control->IsKindOf(ComboBox::kTypeCode) ? static_cast<ComboBox*>(control) : nullptr;
}

Button* SettingsPage::ButtonOf(int id) const {
  Window* control = Control(id);
  return control && control->IsKindOf(Button::kTypeCode) ? static_cast<Button*>(control) : nullptr;
}

CONFIG_SCENE* SettingsPage::EditedScene() const {
  return m_working ? m_working->m_RecSceneList[static_cast<size_t>(m_sceneIndex)].Get() : nullptr;
}

bool SettingsPage::CreateControls() {
  std::vector<Row>& rows = m_rows;
  rows.clear();
  int group = kGroupIdBase;
  int label = kLabelIdBase;
  bool ok = true;
  auto groupStart = [&](const wchar_t* title) {
    ok = ok && Add<Button>(title, kBsGroupBox, ++group);
    rows.push_back({RowKind::GroupStart, group});
  };
  auto full = [&](int id) { rows.push_back({RowKind::Full, id}); };
  auto labelled = [&](const wchar_t* caption, int id, int captionId = 0) {
    if (captionId == 0) captionId = ++label;
    ok = ok && Add<StaticText>(caption, kSsCenterImage, captionId);
    rows.push_back({RowKind::Labelled, captionId, id});
  };
  auto check = [&](const wchar_t* text, int id) {
    ok = ok && Add<Button>(text, kWsTabStop | kBsAutoCheckBox, id);
    full(id);
  };
  auto radio = [&](const wchar_t* text, int id, bool first) {
    ok = ok && Add<Button>(text, kWsTabStop | kBsAutoRadioButton | (first ? kWsGroup : 0), id);
    full(id);
  };
  auto list = [&](int id, uint32_t kind = kCbsDropDownList) { ok = ok && Add<ComboBox>(L"", kWsTabStop | kind, id); };
  auto end = [&] { rows.push_back({RowKind::GroupEnd}); };

  groupStart(L"録音品質");
  list(kScene, kCbsDropDown);
  labelled(L"録音シーン", kScene);
  list(kCodec);
  labelled(L"コーデック", kCodec);
  radio(L"", kHigh, true);
  radio(L"", kMiddle, false);
  radio(L"", kLow, false);
  radio(L"自分で品質を選択する", kCustom, false);
  list(kFormat);
  full(kFormat);
  list(kVorbisQuality);
  list(kSpeexQuality);
  labelled(L"", kVorbisQuality, kQualityLabel);
  rows.push_back({RowKind::Labelled, kQualityLabel, kSpeexQuality});
  list(kComplexity);
  labelled(L"Speex 圧縮品質", kComplexity, kComplexityLabel);
  check(L"クリアボイス", kDenoise);
  check(L"VAD", kVad);
  check(L"DTX", kDtx);
  check(L"通話録音として使うシーン", kCallScene);
  end();

  groupStart(L"録音ファイルの作成先フォルダ");
  for (auto [caption, edit, button] : {std::tuple{L"録音フォルダ", kRecFolder, kRecFolderButton},
                                       std::tuple{L"通話録音フォルダ", kCallFolder, kCallFolderButton}}) {
    ok = ok && Add<StaticText>(caption, kSsCenterImage, ++label);
    full(label);
    if (Edit* e = Add<Edit>(L"", kWsTabStop | kWsBorder | kEsAutoHScroll, edit)) {
      e->SetLimitText(260);
    } else {
      ok = false;
    }
    ok = ok && Add<Button>(L"...", kWsTabStop | kBsPushButton, button);
    rows.push_back({RowKind::FolderButton, edit, button});
  }
  end();

  groupStart(L"伝言メモファイルの保存先フォルダ");
  if (Edit* e = Add<Edit>(L"", kWsTabStop | kWsBorder | kEsAutoHScroll, kMemoFolder)) {
    e->SetLimitText(260);
  } else {
    ok = false;
  }
  ok = ok && Add<Button>(L"...", kWsTabStop | kBsPushButton, kMemoFolderButton);
  rows.push_back({RowKind::FolderButton, kMemoFolder, kMemoFolderButton});
  list(kMemoQuality);
  labelled(L"Ogg Vorbis 品質", kMemoQuality);
  end();

  groupStart(L"録音デバイス");
  list(kInputDevice);
  full(kInputDevice);
  end();
  groupStart(L"再生デバイス");
  list(kOutputDevice);
  full(kOutputDevice);
  end();

  groupStart(L"録音・再生中の電源管理");
  radio(L"サスペンド防止を行わない（自動で防止できる機種では推奨）", kNoPrevention, true);
  radio(L"カウンタリセットによる方法でサスペンド防止（推奨）", kCounterReset, false);
  radio(L"ダミーキーを送る方法でサスペンド防止（画面消灯はできない）", kDummyKey, false);
  radio(L"パワーマネジメント設定を切り替えてサスペンド防止", kPowerSwitch, false);
  check(L"録音開始直後に画面消灯", kScreenOffAtStart);
  check(L"録音中は自動で画面消灯", kAutoScreenOff);
  list(kScreenOffInterval);
  labelled(L"消灯の監視間隔", kScreenOffInterval);
  end();

  groupStart(L"録音停止の確認");
  check(L"アプリ終了時は確認する。", kQueryClose);
  check(L"機能切り替え時は確認する。", kQueryChange);
  check(L"停止ボタンで確認する。", kQueryStop);
  check(L"一時停止ボタンで確認する。", kQueryPause);
  end();

  groupStart(L"W-ZERO3 シリーズ専用設定");
  check(L"ダイアルキー制御を有効にする。", kDialKey);
  check(L"通話開始を受けて録音開始を行う。", kTelStart);
  check(L"通話終了を受けて録音停止を行う。", kTelStop);
  check(L"録音ファイル名に通話情報を入れる。", kTelInfoInName);
  check(L"伝言メモのタグに通話情報を入れる。", kTelInfoInTag);
  end();

  groupStart(L"画面スキン");
  list(kSkin);
  full(kSkin);
  ok = ok && Add<StaticText>(L"※アプリ起動時に有効となります。", kSsCenterImage, kSkinNote);
  full(kSkinNote);
  end();

  groupStart(L"録音スタートショートカット");
  ok = ok && Add<Button>(L"作成", kWsTabStop | kBsPushButton, kCreateLauncher);
  ok = ok && Add<Button>(L"削除", kWsTabStop | kBsPushButton, kRemoveLauncher);
  rows.push_back({RowKind::TwoButtons, kCreateLauncher, kRemoveLauncher});
  end();
  if (!ok) return false;

  // Fixed lists.
  ComboBox* codec = List(kCodec);
  codec->AddString(L"Ogg Speex（声音向け）", kCodecSpeex);
  codec->AddString(L"Ogg Vorbis", kCodecVorbis);
  codec->AddString(L"Wav リニア PCM（非圧縮）", kCodecPcm);
  for (auto [id, items] : {std::pair{kVorbisQuality, SceneFormat::VorbisQualityItems()},
                           std::pair{kMemoQuality, SceneFormat::VorbisQualityItems()},
                           std::pair{kSpeexQuality, SceneFormat::SpeexQualityItems()},
                           std::pair{kComplexity, SceneFormat::ComplexityItems()},
                           std::pair{kScreenOffInterval, SceneFormat::ScreenOffIntervalItems()}}) {
    for (const ValueItem& item : items) List(id)->AddString(item.text, item.data);
  }
  List(kSkin)->AddString(L"シンプルテキスト", 1);
  List(kSkin)->AddString(L"イメージスキン", 2);
  List(kScene)->SetLimitText(32);

  auto* filter = new FormEventFilter(Widget(), m_scroll, m_content);
  for (const RefPtr<Window>& control : m_controls) {
    if (control->IsKindOf(ComboBox::kTypeCode)) control->Widget()->installEventFilter(filter);
  }
  m_content->installEventFilter(filter);
  ButtonOf(kCreateLauncher)->Widget()->installEventFilter(filter);
  ButtonOf(kRemoveLauncher)->Widget()->installEventFilter(filter);
  m_working = GetConfig()->Clone();
  return true;
}

intptr_t SettingsPage::HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  switch (message) {
    case kWmCreate:
      if (!CreateControls()) return -1;
      OnLayout();
      return 0;
    case kWmSize:
      OnLayout();
      return 0;
    case kWmCommand:
      OnCommand(static_cast<int>(LowWord(wParam)), static_cast<int>(HighWord(wParam)));
      return 0;
    default:
      break;
  }
  return Page::HandleMessage(message, wParam, lParam);
}

void SettingsPage::OnActivate() {
  LoadWorkingCopy();
  m_scroll->verticalScrollBar()->setValue(0);
}

void SettingsPage::LoadWorkingCopy() {
  m_working = GetConfig()->Clone();
  m_sceneIndex = 0;
  m_changed = false;
  FillDevices();
  ShowConfig();
}

void SettingsPage::FillDevices() {
  m_filling = true;
  ComboBox* input = List(kInputDevice);
  input->ResetContent();
  for (uint32_t id = 0, n = waveInGetNumDevs(); id < n; ++id) {
    WAVEINCAPS caps;
    if (waveInGetDevCaps(id, &caps) == MMSYSERR_NOERROR) input->AddString(caps.szPname, id);
  }
  ComboBox* output = List(kOutputDevice);
  output->ResetContent();
  for (uint32_t id = 0, n = waveOutGetNumDevs(); id < n; ++id) {
    WAVEOUTCAPS caps;
    if (waveOutGetDevCaps(id, &caps) == MMSYSERR_NOERROR) output->AddString(caps.szPname, id);
  }
  m_filling = false;
}

// A device whose capabilities cannot be read now (busy, unplugged) offers
// every standard format, rather than forcing each preset to its poorest
// format behind the user's back.
uint32_t SettingsPage::InputCapabilities() const {
  WAVEINCAPS caps;
  if (waveInGetDevCaps(m_working->m_WaveInId, &caps) != MMSYSERR_NOERROR) return WAVE_FORMAT_ALL_STANDARD;
  return caps.dwFormats;
}

void SettingsPage::ShowConfig() {
  m_filling = true;
  const CONFIG& c = *m_working;
  ComboBox* scenes = List(kScene);
  scenes->ResetContent();
  for (int i = 0; i < kSceneCount; ++i) scenes->AddString(c.m_RecSceneList[static_cast<size_t>(i)]->m_Name, i);
  scenes->SetCurSel(m_sceneIndex);
  Control(kRecFolder)->SetText(c.m_RecPath);
  Control(kCallFolder)->SetText(c.m_RecTelPath);
  Control(kMemoFolder)->SetText(c.m_MemoPath);
  List(kMemoQuality)
      ->SetCurSel(SceneFormat::IndexOf(SceneFormat::VorbisQualityItems(), SceneFormat::VorbisData(c.m_MemoOvQuality),
                                       SceneFormat::kVorbisFallbackItem));
  List(kInputDevice)->SetCurSel(List(kInputDevice)->FindItemData(c.m_WaveInId));
  List(kOutputDevice)->SetCurSel(List(kOutputDevice)->FindItemData(c.m_WaveOutId));
  for (int id = kNoPrevention; id <= kPowerSwitch; ++id)
    ButtonOf(id)->SetCheck(c.m_SusPrvMode == static_cast<uint32_t>(id - kNoPrevention));
  const std::pair<int, uint32_t> checks[] = {
      {kScreenOffAtStart, c.m_RecJustScrOff}, {kAutoScreenOff, c.m_RecAutoScrOff}, {kQueryClose, c.m_QueryRecClose},
      {kQueryChange, c.m_QueryRecChange},     {kQueryStop, c.m_QueryRecStop},      {kQueryPause, c.m_QueryRecPause},
      {kDialKey, c.m_DialKey},                {kTelStart, c.m_RecTelStart},        {kTelStop, c.m_RecTelStop},
      {kTelInfoInName, c.m_TelInfoInName},    {kTelInfoInTag, c.m_MemoTelInfoInTag}};
  for (auto [id, value] : checks) ButtonOf(id)->SetCheck(value != 0);
  List(kScreenOffInterval)->SetCurSel(List(kScreenOffInterval)->FindItemData(c.m_RecAutoScrOffCyc));
  Control(kScreenOffInterval)->Enable(c.m_RecAutoScrOff != 0);
  List(kSkin)->SetCurSel(List(kSkin)->FindItemData(c.m_SkinTypeId));
  m_filling = false;
  ShowScene();
}

void SettingsPage::FillFormatList() {
  CONFIG_SCENE* scene = EditedScene();
  m_offered = SceneFormat::Offered(InputCapabilities(), scene->m_CodecMode);
  ComboBox* formats = List(kFormat);
  formats->ResetContent();
  for (const FormatChoice& choice : m_offered) formats->AddString(choice.text, choice.number);
}

void SettingsPage::ShowScene() {
  m_filling = true;
  CONFIG_SCENE* scene = EditedScene();
  const uint32_t codec = scene->m_CodecMode;
  List(kCodec)->SetCurSel(List(kCodec)->FindItemData(codec));
  const PresetCaptions captions = SceneFormat::Captions(codec);
  for (auto [id, caption] : {std::pair{kHigh, captions.high}, {kMiddle, captions.middle}, {kLow, captions.low}}) {
    m_captions[id] = caption;  // Lay() breaks it into lines as needed
    ButtonOf(id)->SetText(caption);
  }
  Control(kQualityLabel)->SetText(captions.qualityLabel);
  FillFormatList();
  const int checked[] = {kCustom, kLow, kMiddle, kHigh};
  for (int id : checked) ButtonOf(id)->SetCheck(false);
  if (scene->m_QualityMode <= 3) ButtonOf(checked[scene->m_QualityMode])->SetCheck(true);

  if (SceneFormat::ApplyPreset(scene, m_offered) == PresetOutcome::Unsupported) {
    ShowError(L"%ls", SceneFormat::kUnsupportedMessage);
    List(kFormat)->SetCurSel(0);
  }
  List(kVorbisQuality)
      ->SetCurSel(SceneFormat::IndexOf(SceneFormat::VorbisQualityItems(), SceneFormat::VorbisData(scene->m_RecOvQuality),
                                       SceneFormat::kVorbisFallbackItem));
  List(kSpeexQuality)
      ->SetCurSel(SceneFormat::IndexOf(SceneFormat::SpeexQualityItems(), static_cast<int>(scene->m_RecSpxQuality),
                                       SceneFormat::kSpeexFallbackItem));
  List(kComplexity)
      ->SetCurSel(SceneFormat::IndexOf(SceneFormat::ComplexityItems(), static_cast<int>(scene->m_RecSpxComplexity),
                                       SceneFormat::kComplexityFallbackItem));
  ButtonOf(kDenoise)->SetCheck(scene->m_SpxDenoise != 0);
  ButtonOf(kVad)->SetCheck(scene->m_SpxVAD != 0);
  ButtonOf(kDtx)->SetCheck(scene->m_SpxDTX != 0);
  ButtonOf(kCallScene)->SetCheck(scene->m_RecTelUse != 0);

  const bool custom = scene->m_QualityMode == 0;
  for (int id : {kFormat, kVorbisQuality, kSpeexQuality, kComplexity, kDenoise, kVad, kDtx})
    Control(id)->Enable(custom);
  ButtonOf(kHigh)->Enable(captions.highEnabled);
  const int match = SceneFormat::MatchingChoice(*scene, m_offered);
  List(kFormat)->SetCurSel(match);
  m_filling = false;
  Lay();
}

void SettingsPage::OnCommand(int id, int code) {
  if (m_filling || !m_working) return;
  CONFIG& c = *m_working;
  CONFIG_SCENE* scene = EditedScene();
  auto checked = [this](int control) -> uint32_t { return ButtonOf(control)->GetCheck() ? 1 : 0; };
  auto data = [this](int control) -> int {
    ComboBox* list = List(control);
    const int index = list->GetCurSel();
    return index == ComboBox::kNone ? -1 : static_cast<int>(list->GetItemData(index));
  };
  switch (id) {
    case kScene:
      if (code == kCbnSelChange && List(kScene)->GetCurSel() != ComboBox::kNone) {
        m_sceneIndex = List(kScene)->GetCurSel();
        ShowScene();
      } else if (code == kCbnEditChange) {
        std::wstring name = List(kScene)->GetText().substr(0, 32);
        scene->m_Name = name;
        m_filling = true;
        List(kScene)->SetItemText(m_sceneIndex, name);
        m_filling = false;
        Changed();
      }
      return;
    case kCodec:
      if (code == kCbnSelChange && data(kCodec) >= 0) {
        SceneFormat::ApplyCodecDefaults(scene, static_cast<uint32_t>(data(kCodec)));
        Changed();
        ShowScene();
      }
      return;
    case kHigh:
    case kMiddle:
    case kLow:
    case kCustom:
      if (code == kBnClicked) {
        scene->m_QualityMode = static_cast<uint32_t>(kCustom - id);
        Changed();
        ShowScene();
      }
      return;
    case kFormat:
      if (code == kCbnSelChange && data(kFormat) >= 0) {
        const WaveFormatEntry* entry = FindWaveFormat(static_cast<uint32_t>(data(kFormat)));
        if (!entry) return;
        if (scene->m_CodecMode == kCodecVorbis && SceneFormat::IsHeavy(*entry)) {
          MessageBox::Show(Host() ? Host()->FrameId() : Id(), SceneFormat::kHeavyWarning, L"TALVINOR",
                           kMbOk | kMbIconExclamation);
        }
        scene->m_Cnannels = entry->channels;
        scene->m_SampleBits = entry->bits;
        scene->m_SampleRate = entry->rate;
        Changed();
      }
      return;
    case kVorbisQuality:
      if (code == kCbnSelChange && data(id) >= -1) scene->m_RecOvQuality = data(id) * 0.1, Changed();
      return;
    case kSpeexQuality:
      if (code == kCbnSelChange && data(id) >= 0) scene->m_RecSpxQuality = static_cast<uint32_t>(data(id)), Changed();
      return;
    case kComplexity:
      if (code == kCbnSelChange && data(id) >= 0) scene->m_RecSpxComplexity = static_cast<uint32_t>(data(id)), Changed();
      return;
    case kDenoise: scene->m_SpxDenoise = checked(id); break;
    case kVad: scene->m_SpxVAD = checked(id); break;
    case kDtx: scene->m_SpxDTX = checked(id); break;
    case kCallScene: scene->m_RecTelUse = checked(id); break;
    case kRecFolder:
    case kCallFolder:
    case kMemoFolder:
      if (code != kEnChange) return;
      (id == kRecFolder ? c.m_RecPath : id == kCallFolder ? c.m_RecTelPath : c.m_MemoPath) = Control(id)->GetText();
      break;
    case kRecFolderButton:
    case kCallFolderButton:
    case kMemoFolderButton:
      if (code == kBnClicked) ChooseFolder(id);
      return;
    case kMemoQuality:
      if (code == kCbnSelChange && data(id) >= -1) c.m_MemoOvQuality = data(id) * 0.1, Changed();
      return;
    case kInputDevice:
      if (code == kCbnSelChange && data(id) >= 0) {
        c.m_WaveInId = static_cast<uint32_t>(data(id));
        Changed();
        ShowScene();  // the formats the new device offers
      }
      return;
    case kOutputDevice:
      if (code == kCbnSelChange && data(id) >= 0) c.m_WaveOutId = static_cast<uint32_t>(data(id)), Changed();
      return;
    case kNoPrevention:
    case kCounterReset:
    case kDummyKey:
    case kPowerSwitch:
      if (!ButtonOf(id)->GetCheck()) return;
      c.m_SusPrvMode = static_cast<uint32_t>(id - kNoPrevention);
      break;
    case kScreenOffAtStart: c.m_RecJustScrOff = checked(id); break;
    case kAutoScreenOff:
      c.m_RecAutoScrOff = checked(id);
      Control(kScreenOffInterval)->Enable(c.m_RecAutoScrOff != 0);
      break;
    case kScreenOffInterval:
      if (code == kCbnSelChange && data(id) >= 0) c.m_RecAutoScrOffCyc = static_cast<uint32_t>(data(id)), Changed();
      return;
    case kQueryClose: c.m_QueryRecClose = checked(id); break;
    case kQueryChange: c.m_QueryRecChange = checked(id); break;
    case kQueryStop: c.m_QueryRecStop = checked(id); break;
    case kQueryPause: c.m_QueryRecPause = checked(id); break;
    case kDialKey: c.m_DialKey = checked(id); break;
    case kTelStart: c.m_RecTelStart = checked(id); break;
    case kTelStop: c.m_RecTelStop = checked(id); break;
    case kTelInfoInName: c.m_TelInfoInName = checked(id); break;
    case kTelInfoInTag: c.m_MemoTelInfoInTag = checked(id); break;
    case kSkin:
      if (code == kCbnSelChange && data(id) >= 0) c.m_SkinTypeId = static_cast<uint32_t>(data(id)), Changed();
      return;
    case kCreateLauncher:
      if (code == kBnClicked) CreateLauncher();
      return;
    case kRemoveLauncher:
      if (code == kBnClicked) RemoveLauncher();
      return;
    default:
      return;
  }
  Changed();
}

void SettingsPage::ChooseFolder(int button) {
  if (!m_folderMenu) return;
  std::wstring folder;
  if (!m_folderMenu(ButtonOf(button), m_working, &folder)) return;
  const int edit = button - 1;
  (edit == kRecFolder ? m_working->m_RecPath : edit == kCallFolder ? m_working->m_RecTelPath : m_working->m_MemoPath) =
      folder;
  m_filling = true;
  Control(edit)->SetText(folder);
  m_filling = false;
  Changed();
}

bool SettingsPage::MayLeave(LeaveReason) {
  if (!m_changed) return true;
  const WindowId owner = Host() ? Host()->FrameId() : Id();
  int answer = MessageBox::Show(owner, kLeaveQuestion, L"TALVINOR", kMbYesNoCancel | kMbIconQuestion | kMbDefButton3);
  if (answer == 0) answer = MessageBox::Show(owner, kLeaveQuestion, L"TALVINOR", kMbYesNo | kMbIconQuestion);
  switch (answer) {
    case kIdYes:
      GetConfig()->CopyFrom(*m_working);
      m_changed = false;
      // The live settings hold the change either way; only the message
      // says whether the file has it too.
      if (SaveConfig()) {
        ShowMessageText(kApplied, kNoticeColour);
      } else {
        ShowMessageText(kSaveFailed, kErrorColour);
      }
      return true;
    case kIdNo:
      m_working = GetConfig()->Clone();
      m_changed = false;
      ShowMessageText(kReverted, kNoticeColour);
      return true;
    case kIdCancel:
      return false;
    default:
      m_changed = false;
      ShowMessageText(kAskFailed, kErrorColour);
      return true;
  }
}

std::string SettingsPage::LauncherPath() {
  const std::string folder = ApplicationsFolder();
  if (folder.empty()) return {};
  return folder + "/" + WideToUtf8(kLauncherName) + ".desktop";
}

void SettingsPage::CreateLauncher() {
  const std::string path = LauncherPath();
  if (!path.empty() && FileExists(path)) {
    ShowMessageText(kLauncherExists, kNoticeColour);
    return;
  }
  const std::wstring sceneName = m_working->m_RecSceneList[0]->m_Name;
  const std::wstring question = std::wstring(L"自動で録音の開始・停止を行うショートカットを追加します。") + kLauncherName +
                                L" という名前でプログラムメニューに追加します。\r\nよろしいですか？\r\n\r\n※録音シーンは「" +
                                sceneName + L"」を使用します。";
  const WindowId owner = Host() ? Host()->FrameId() : Id();
  if (MessageBox::Show(owner, question, L"TALVINOR", kMbYesNo | kMbIconQuestion) != kIdYes) return;
  std::string program;
  if (path.empty() || !GetExecutablePath(&program)) {
    ShowMessageText(kLauncherNotCreated, kErrorColour);
    return;
  }
  std::wstring folder;
  std::string icon = "talvinor";
  if (GetExecutableFolder(&folder) && FileExists(WideToUtf8(folder) + "/talvinor.svg"))
    icon = WideToUtf8(folder) + "/talvinor.svg";
  const int error =
      WriteLauncher(path, LauncherText(WideToUtf8(kLauncherName), program, kLauncherArguments, icon));
  if (error == 0) {
    ShowMessageText(kLauncherCreated, kNoticeColour);
  } else if (error == EEXIST) {
    ShowMessageText(kLauncherExists, kNoticeColour);
  } else {
    ShowMessageText(kLauncherNotCreated, kErrorColour);
  }
}

void SettingsPage::RemoveLauncher() {
  const std::string path = LauncherPath();
  if (path.empty() || !FileExists(path)) {
    ShowMessageText(kLauncherMissing, kNoticeColour);
    return;
  }
  const std::wstring question = std::wstring(kLauncherName) + L" ショートカットを削除します。\r\nよろしいですか？\r\n";
  const WindowId owner = Host() ? Host()->FrameId() : Id();
  if (MessageBox::Show(owner, question, L"TALVINOR", kMbYesNo | kMbIconQuestion) != kIdYes) return;
  const int error = talvinor::RemoveLauncher(path);
  if (error == 0) {
    ShowMessageText(kLauncherRemoved, kNoticeColour);
  } else {
    ShowError(L"削除できませんでした。(%d)", error);
  }
}

int SettingsPage::ScrollOffset() const { return m_scroll ? m_scroll->verticalScrollBar()->value() : 0; }

void SettingsPage::ScrollIntoView(Window* control) {
  if (!m_scroll || !control || !control->Widget()) return;
  // From the control's own place on the form, with a little room around it
  // where there is room; the control itself always fits when it can.
  const Rect place = control->GetRect();
  const int visible = m_scroll->viewport()->height();
  const int room = std::max(0, std::min(4, (visible - place.height) / 2));
  QScrollBar* bar = m_scroll->verticalScrollBar();
  int value = bar->value();
  if (place.y + place.height + room > value + visible) value = place.y + place.height + room - visible;
  if (place.y - room < value) value = place.y - room;
  bar->setValue(value);
}

void SettingsPage::OnLayout() {
  if (!m_content) return;
  PageLayout::Get(SkinPage::Settings)->Apply(this);
  const FontSpec& font = SkinResources::Get()->Font(2);
  const PageLayout::Colours& colours = PageLayout::Get(SkinPage::Settings)->GetColours();
  for (const RefPtr<Window>& control : m_controls) {
    control->SetFont(font);
    // Check boxes and radio buttons draw their box in the edit colours, so
    // that it shows on a dark skin, and their caption in the page's.
    const uint32_t type = control->Style() & kBsTypeMask;
    auto* button = qobject_cast<QAbstractButton*>(control->Widget());
    if (button && control->IsKindOf(Button::kTypeCode) && (type == kBsAutoCheckBox || type == kBsAutoRadioButton)) {
      QPalette own = button->palette();
      own.setColor(QPalette::Base, ToQColor(colours.editBackground));
      own.setColor(QPalette::Text, ToQColor(colours.editText));
      own.setColor(QPalette::WindowText, ToQColor(colours.text));
      own.setColor(QPalette::ButtonText, ToQColor(colours.text));
      button->setPalette(own);
    }
  }
  QPalette palette = m_scroll->viewport()->palette();
  palette.setColor(QPalette::Window, Widget()->palette().color(QPalette::Window));
  m_scroll->viewport()->setPalette(palette);
  m_content->setPalette(palette);
  Lay();
}

// A check box or radio button caption wider than the row is broken into
// lines (before an opening bracket where that fits, else where the room runs
// out); answers the number of lines.
int SettingsPage::FitCaption(Window* control, int width) {
  auto* button = qobject_cast<QAbstractButton*>(control->Widget());
  if (!button || !control->IsKindOf(Button::kTypeCode)) return 1;
  auto [it, added] = m_captions.try_emplace(control->ControlId(), control->GetText());
  const QString caption = ToQString(it->second);
  const int room = width - button->style()->pixelMetric(QStyle::PM_IndicatorWidth) - 8;
  const QFontMetrics metrics(button->font());
  QStringList lines;
  QString rest = caption;
  while (metrics.horizontalAdvance(rest) > room && rest.size() > 1) {
    int cut = 1;
    while (cut < rest.size() && metrics.horizontalAdvance(rest.left(cut + 1)) <= room) ++cut;
    const int bracket = rest.left(cut + 1).lastIndexOf(QChar(0xFF08));  // '（'
    if (bracket > 0 && bracket <= cut) cut = bracket;
    lines << rest.left(cut);
    rest = rest.mid(cut);
  }
  lines << rest;
  button->setText(lines.join('\n'));
  return static_cast<int>(lines.size());
}

// The width a drop-down list needs to show its longest item whole (0 for
// any other control).
int SettingsPage::WidestItem(Window* control) {
  const auto* box = qobject_cast<const QComboBox*>(control->Widget());
  if (!box) return 0;
  const QFontMetrics metrics(box->font());
  int widest = 0;
  for (int i = 0; i < box->count(); ++i) widest = std::max(widest, metrics.horizontalAdvance(box->itemText(i)));
  return widest + box->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 16;
}

// Places the rows top to bottom; rows whose control the codec hides take
// no room.
void SettingsPage::Lay() {
  if (!m_content || m_controls.empty() || !m_working) return;
  RefPtr<PageLayout> layout = PageLayout::Get(SkinPage::Settings);
  const int scale = SkinResources::Get()->Scale();
  const int rowHeight = std::max(layout->Metric(SkinMetric::FormRowHeight), 20);
  int labelWidth = std::max(layout->Metric(SkinMetric::FormLabelWidth), 88);
  const int margin = std::max(layout->Metric(SkinMetric::FormMargin), 4);
  const int gap = std::max(layout->Metric(SkinMetric::FormGroupGap), 6);
  const int width = std::max(m_scroll->viewport()->width(), 120);
  const int inner = width - 4 * margin;
  const int step = rowHeight + margin / 2;
  const uint32_t codec = EditedScene()->m_CodecMode;
  auto shown = [codec](int id) {
    switch (id) {
      case kQualityLabel: return codec != kCodecPcm;
      case kVorbisQuality: return codec == kCodecVorbis;
      case kSpeexQuality:
      case kComplexityLabel:
      case kComplexity:
      case kDenoise:
      case kVad:
      case kDtx:
        return codec == kCodecSpeex;
      default:
        return true;
    }
  };
  for (const RefPtr<Window>& control : m_controls) control->Show(shown(control->ControlId()));
  // Captions beside a control get the room of the widest of them.
  for (const Row& row : m_rows) {
    if (row.kind != RowKind::Labelled) continue;
    Window* caption = Control(row.a);
    const int needed = QFontMetrics(caption->Widget()->font()).horizontalAdvance(ToQString(caption->GetText())) + 4;
    labelWidth = std::min(std::max(labelWidth, needed), inner / 2);
  }

  int y = margin;
  int groupTop = 0;
  Window* group = nullptr;
  for (const Row& row : m_rows) {
    Window* a = Control(row.a);
    Window* b = Control(row.b);
    switch (row.kind) {
      case RowKind::GroupStart:
        group = a;
        groupTop = y;
        y += rowHeight + margin;
        break;
      case RowKind::Full: {
        const int lines = FitCaption(a, inner);
        const int height = std::max(rowHeight, lines * QFontMetrics(a->Widget()->font()).lineSpacing() + 4);
        a->Move({2 * margin, y, inner, height});
        y += height + margin / 2;
        break;
      }
      case RowKind::Labelled:
        if (!shown(row.b)) break;
        if (WidestItem(b) > inner - labelWidth) {
          // On a narrow screen a list whose items would be cut beside its
          // caption goes under it, across the whole row.
          a->Move({2 * margin, y, inner, rowHeight});
          b->Move({2 * margin, y + step, inner, rowHeight});
          y += 2 * step;
          break;
        }
        a->Move({2 * margin, y, labelWidth, rowHeight});
        b->Move({2 * margin + labelWidth, y, inner - labelWidth, rowHeight});
        y += step;
        break;
      case RowKind::FolderButton: {
        const int buttonWidth = 28 * scale;
        a->Move({2 * margin, y, inner - buttonWidth - margin, rowHeight});
        b->Move({2 * margin + inner - buttonWidth, y, buttonWidth, rowHeight});
        y += step;
        break;
      }
      case RowKind::TwoButtons: {
        const int half = (inner - margin) / 2;
        a->Move({2 * margin, y, half, rowHeight});
        b->Move({2 * margin + half + margin, y, half, rowHeight});
        y += step;
        break;
      }
      case RowKind::GroupEnd:
        if (group) group->Move({margin, groupTop, width - 2 * margin, y - groupTop + margin});
        y += margin + gap;
        group = nullptr;
        break;
    }
  }
  m_formHeight = y;
  m_content->resize(width, y);
}

std::vector<Window*> SettingsPage::FocusOrder() const {
  std::vector<Window*> order;
  for (const RefPtr<Window>& control : m_controls) {
    if (control->HasStyle(kWsTabStop) && control->IsEnabled() && !control->Widget()->isHidden())
      order.push_back(control.Get());
  }
  return order;
}

// Up and Down step through the form's controls (a closed list does not
// change its choice), keeping the focused one in view.
bool SettingsPage::OnKeyNavigate(const WindowMessage& key) {
  if (key.message != kWmKeyDown || (key.wParam != kVkUp && key.wParam != kVkDown)) return true;
  const std::vector<Window*> order = FocusOrder();
  if (order.empty()) return true;
  Window* focused = Window::FocusedWindow();
  auto it = std::find(order.begin(), order.end(), focused);
  if (it == order.end()) {
    // The focus is outside the form (the tab bar): Down enters it at the top.
    if (key.wParam == kVkUp) return true;
    order.front()->SetFocus();
    ScrollIntoView(order.front());
    return false;
  }
  if (key.wParam == kVkUp) {
    if (it == order.begin()) {
      m_scroll->verticalScrollBar()->setValue(0);
      return true;  // the frame moves on to the tab bar
    }
    --it;
  } else {
    if (std::next(it) == order.end()) return false;
    ++it;
  }
  (*it)->SetFocus();
  ScrollIntoView(*it);
  return false;
}

}  // namespace talvinor

#include "ui/ManualPage.h"

#include <algorithm>
#include <vector>

#include "core/ProgramPaths.h"
#include "platform/CodePage.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "ui/Menu.h"
#include "ui/PageLayout.h"
#include "ui/SkinResources.h"

namespace talvinor {

namespace {

struct Document {
  int command;
  const wchar_t* menuText;
  const wchar_t* file;
};
constexpr Document kDocuments[] = {
    {ManualPage::kShowManual, L"説明書", L"manual.txt"},
    {ManualPage::kShowKeys, L"キー操作説明書", L"mankey.txt"},
    {ManualPage::kShowCommands, L"コマンド説明書", L"mancmd.txt"},
    {ManualPage::kShowReadme, L"READMEの参照", L"readme.txt"},
};

}  // namespace

const wchar_t* ManualPage::DocumentFile(int command) {
  for (const Document& d : kDocuments)
    if (d.command == command) return d.file;
  return nullptr;
}

bool ManualPage::ReadDocument(const std::wstring& path, std::wstring* text) {
  File file;
  if (!file.Open(path, FileOpenMode::Read)) return false;
  uint32_t size = 0;
  if (!file.GetSize(&size)) return false;
  std::string bytes(size, '\0');
  uint32_t done = 0;
  while (done < size) {
    uint32_t got = 0;
    if (!file.Read(bytes.data() + done, size - done, &got)) return false;
    if (got == 0) break;  // the file shrank meanwhile: show what is there
    done += got;
  }
  bytes.resize(done);
  // The whole text is converted, the last byte included; a zero ends it as
  // the text view would.
  std::wstring converted = AnsiToWide(bytes);
  if (size_t zero = converted.find(L'\0'); zero != std::wstring::npos) converted.resize(zero);
  *text = std::move(converted);
  return true;
}

bool ManualPage::CreateText() {
  m_text = talvinor::Create<Edit>();
  int width = 0;
  int height = 0;
  GetClientSize(&width, &height);
  const uint32_t style = kWsChild | kWsVisible | kWsVScroll | kWsTabStop | kEsMultiLine | kEsReadOnly | kEsAutoVScroll;
  if (!m_text->Create(L"", style, {0, 0, std::max(width, 0), std::max(height, 0)}, this, kTextId)) return false;
  RefPtr<SkinResources> skin = SkinResources::Get();
  RefPtr<PageLayout> layout = PageLayout::Get(SkinPage::Manual);
  if (skin->IsBuilt()) {
    m_text->SetFont(skin->Font(layout->ControlFont(kTextId) > 0 ? layout->ControlFont(kTextId) : 6));
    const PageLayout::Colours& colours = layout->GetColours();
    m_text->SetColours(colours.editText, colours.editBackground, true);
    SetColours(colours.text, colours.background, true);
  }
  return true;
}

intptr_t ManualPage::HandleMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  switch (message) {
    case kWmCreate:
      return CreateText() ? 0 : -1;
    case kWmSize:
      OnLayout();
      return 0;
    case kWmCommand:
      if (HighWord(wParam) == 0 && DocumentFile(static_cast<int>(LowWord(wParam)))) {
        ShowDocument(static_cast<int>(LowWord(wParam)));
        return 0;
      }
      break;
    default:
      break;
  }
  return Page::HandleMessage(message, wParam, lParam);
}

void ManualPage::OnActivate() {
  if (m_shown == 0) ShowDocument(kShowManual);
}

bool ManualPage::ContributeToolsMenu(Menu* tools) {
  if (!tools) return false;
  for (const Document& d : kDocuments) tools->AppendItem(d.command, d.menuText);
  return true;
}

void ManualPage::OnLayout() {
  if (!m_text) return;
  int width = 0;
  int height = 0;
  GetClientSize(&width, &height);
  m_text->Move({0, 0, std::max(width, 0), std::max(height, 0)});
}

void ManualPage::OnMenuCommand(int id, int) {
  if (DocumentFile(id)) ShowDocument(id);
}

bool ManualPage::OnKeyNavigate(const WindowMessage& key) {
  if (!m_text || key.window != m_text->Id()) return true;
  // The focus stays in the text at its first and last line.
  if (key.wParam == kVkUp && m_text->IsCaretOnFirstLine()) return false;
  if (key.wParam == kVkDown && m_text->IsCaretOnLastLine()) return false;
  return true;
}

bool ManualPage::ShowDocument(int command) {
  if (command == m_shown) return true;
  const wchar_t* file = DocumentFile(command);
  if (!file || !m_text) return false;
  std::wstring folder;
  std::wstring text;
  if (GetProgramFolder(&folder) && ReadDocument(JoinPath(folder, file), &text)) {
    m_text->SetText(text);
    m_shown = command;
    return true;
  }
  // Nothing readable is shown now: choosing this document again tries again,
  // and so does choosing the one that was shown before.
  m_text->SetText(kUnreadable);
  m_shown = 0;
  return false;
}

}  // namespace talvinor

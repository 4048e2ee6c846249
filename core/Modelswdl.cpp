#include "core/Modelswdl.h"

#include "comm/K7310map.h"
#include "core/Parameterline.h"
#include "core/Textfile.h"

namespace {
// Image shapes of the two software-download operations.
struct ImageShape {
  int32_t Size;
  int32_t Base;
};
constexpr ImageShape K7310Image{K7310ImageSize, K7310FlashBase};
constexpr ImageShape Trx5170Image{0x20000, 0x000E0000};
}  // namespace

TModelSwDl::TModelSwDl() {
  for (const TOperation& op : Operations) {
    TOpState& s = OpStates[op.Id];
    if (op.Id != 0) s.Settings = std::make_unique<PortSettings>();
    if (op.Id == OpSwDlK7310) s.Image = std::make_shared<HexFile>(K7310Image.Size, K7310Image.Base);
    if (op.Id == OpSwDlTrx5170) s.Image = std::make_shared<HexFile>(Trx5170Image.Size, Trx5170Image.Base);
    if (op.Id >= 3) s.TextLines = std::make_unique<std::vector<std::string>>();
  }
}

const TOpState* TModelSwDl::Current() const {
  const uint8_t id = CurrentOperation;
  return FindOperation(id) ? &OpStates[id] : nullptr;
}

TOpState* TModelSwDl::Current() {
  const uint8_t id = CurrentOperation;
  return FindOperation(id) ? &OpStates[id] : nullptr;
}

int32_t TModelSwDl::GetBaudRate() const {
  const TOpState* s = Current();
  return s && s->Settings ? s->Settings->BaudRate : 1200;
}

void TModelSwDl::SetBaudRate(int32_t baud) {
  TOpState* s = Current();
  if (s && s->Settings) s->Settings->BaudRate = baud;
}

char TModelSwDl::GetParity() const {
  const TOpState* s = Current();
  return s && s->Settings ? s->Settings->Parity : 'N';
}

void TModelSwDl::SetParity(char parity) {
  TOpState* s = Current();
  if (s && s->Settings) s->Settings->Parity = parity;
}

std::shared_ptr<HexFile> TModelSwDl::PrepareImage(const std::string& fileName) const {
  const ImageShape shape = IsTRX5170Download() ? Trx5170Image : K7310Image;
  auto image = std::make_shared<HexFile>(shape.Size, shape.Base);
  image->Load(fileName);
  if (IsTRX5170Download()) image->StampChecksum();
  return image;
}

void TModelSwDl::CommitImage(std::shared_ptr<const HexFile> image) {
  std::lock_guard<std::mutex> lock(Lock);
  TOpState* s = Current();
  if (s && s->Image) s->Image = std::move(image);
}

void TModelSwDl::LoadFile(const std::string& fileName) {
  switch (OperationKind()) {
    case KindSoftwareDownload:
      CommitImage(PrepareImage(fileName));
      break;
    case KindParameterDownload: {
      auto lines = std::make_unique<std::vector<std::string>>(ReadTextLines(fileName));
      auto parameters = std::make_unique<const TParameterIndex>(*lines);
      std::lock_guard<std::mutex> lock(Lock);
      TOpState* s = Current();
      s->DataFileName = fileName;
      s->TextLines = std::move(lines);
      s->Parameters = std::move(parameters);
      break;
    }
    default:
      break;
  }
}

std::vector<std::string> TModelSwDl::DataLines() const {
  std::lock_guard<std::mutex> lock(Lock);
  const TOpState* s = Current();
  if (!s) return {};
  switch (OperationKind()) {
    case KindSoftwareDownload:
      return s->Image && s->Image->Lines() ? *s->Image->Lines() : std::vector<std::string>{};
    case KindParameterDownload:
    case KindParameterUpload:
      return s->TextLines ? *s->TextLines : std::vector<std::string>{};
    default:
      return {};
  }
}

bool TModelSwDl::HasDataLines() const {
  std::lock_guard<std::mutex> lock(Lock);
  const TOpState* s = Current();
  if (!s) return false;
  switch (OperationKind()) {
    case KindSoftwareDownload:
      return s->Image && s->Image->Lines();
    case KindParameterDownload:
    case KindParameterUpload:
      return s->TextLines != nullptr;
    default:
      return false;
  }
}

bool TModelSwDl::HasData() const {
  std::lock_guard<std::mutex> lock(Lock);
  const TOpState* s = Current();
  if (!s) return false;
  switch (OperationKind()) {
    case KindSoftwareDownload:
      return s->Image && s->Image->IsLoaded();
    case KindParameterDownload:
      return s->TextLines && !s->TextLines->empty();
    default:
      return false;
  }
}

std::string TModelSwDl::DisplayFileName() const {
  std::lock_guard<std::mutex> lock(Lock);
  const TOpState* s = Current();
  if (!s) return {};
  switch (OperationKind()) {
    case KindSoftwareDownload:
      return s->Image ? s->Image->FileName() : std::string();
    case KindParameterDownload:
    case KindParameterUpload:
      return s->DataFileName;
    default:
      return {};
  }
}

void TModelSwDl::SetReceivedFileName(const std::string& fileName) {
  if (OperationKind() != KindParameterUpload) return;
  std::lock_guard<std::mutex> lock(Lock);
  Current()->DataFileName = fileName;
}

std::shared_ptr<const HexFile> TModelSwDl::CurrentImage() const {
  std::lock_guard<std::mutex> lock(Lock);
  const TOpState* s = Current();
  return s ? s->Image : nullptr;
}

int32_t TModelSwDl::BlockLength(int32_t address, int32_t length) const {
  const auto image = CurrentImage();
  return image ? image->BlockLength(address, length) : 0;
}

int32_t TModelSwDl::ByteAt(int32_t address) const {
  const auto image = CurrentImage();
  return image ? image->ByteAt(address) : 0;
}

namespace {
int PageIndex(int32_t address) {
  if (address > K7310FlashBase) address -= K7310FlashBase;
  return address >> 11;
}
}  // namespace

void TModelSwDl::ClearErasedPages() {
  for (uint8_t& flag : ErasedPages) flag = 0;
}

bool TModelSwDl::IsPageErased(int32_t address) const {
  const int page = PageIndex(address);
  return page >= 0 && page < 256 && ErasedPages[page] != 0;
}

void TModelSwDl::MarkPageErased(int32_t address) {
  const int page = PageIndex(address);
  if (page >= 0 && page < 256) ErasedPages[page] = 1;
}

void TModelSwDl::AddReceivedLine(const std::string& text) {
  {
    std::lock_guard<std::mutex> lock(Lock);
    TOpState* s = Current();
    if (!s || !s->TextLines) return;
    s->TextLines->push_back(text);
    s->Parameters.reset();
    s->ReceivedQueue.push_back(text);
  }
  ListChanged = true;
}

void TModelSwDl::ClearReceivedLines() {
  {
    std::lock_guard<std::mutex> lock(Lock);
    TOpState* s = Current();
    if (!s) return;
    if (s->TextLines) s->TextLines->clear();
    s->Parameters.reset();
    s->ReceivedQueue.clear();
  }
  ListChanged = true;
}

bool TModelSwDl::TakeReceivedLine(std::string& text) {
  std::lock_guard<std::mutex> lock(Lock);
  TOpState* s = Current();
  if (!s || s->ReceivedQueue.empty()) return false;
  text = std::move(s->ReceivedQueue.front());
  s->ReceivedQueue.pop_front();
  return true;
}

bool TModelSwDl::NextParameter(int32_t after, int32_t& number, std::string& value) const {
  if (OperationKind() != KindParameterDownload) return false;
  std::lock_guard<std::mutex> lock(Lock);
  const TOpState* s = Current();
  if (!s->TextLines) return false;
  if (!s->Parameters) s->Parameters = std::make_unique<const TParameterIndex>(*s->TextLines);
  return s->Parameters->Next(after, number, value);
}

int32_t TModelSwDl::SendableParameterCount() const {
  if (OperationKind() != KindParameterDownload) return 0;
  std::lock_guard<std::mutex> lock(Lock);
  const TOpState* s = Current();
  if (!s->TextLines) return 0;
  if (!s->Parameters) s->Parameters = std::make_unique<const TParameterIndex>(*s->TextLines);
  return s->Parameters->Count();
}

std::vector<int> OversizedParameterLines(const std::vector<std::string>& lines) {
  std::vector<int> result;
  const std::vector<TParameterLineUse> uses = PlanParameterLines(lines);
  for (size_t i = 0; i < uses.size(); ++i)
    if (uses[i].Use == TParameterLineUse::TooLarge) result.push_back(static_cast<int>(i + 1));
  return result;
}

void TModelSwDl::AppendParNumber(const std::string& text) {
  std::lock_guard<std::mutex> lock(Lock);
  Results.ParNumbers.push_back(text);
}

void TModelSwDl::AppendPreviousValue(const std::string& text) {
  std::lock_guard<std::mutex> lock(Lock);
  Results.PreviousValues.push_back(text);
}

void TModelSwDl::AppendNewValue(const std::string& text) {
  std::lock_guard<std::mutex> lock(Lock);
  Results.NewValues.push_back(text);
}

TParameterResults TModelSwDl::TakeParameterResults() {
  std::lock_guard<std::mutex> lock(Lock);
  TParameterResults taken = std::move(Results);
  Results = TParameterResults{};
  return taken;
}

size_t TModelSwDl::ParameterResultCount() const {
  std::lock_guard<std::mutex> lock(Lock);
  return Results.NewValues.size();
}

void TModelSwDl::SetRunStatus(const CmRunStatus& status) {
  LastRunStatus = status;
  TRunEnd end;
  if (Outcome.Take(status, TRunOutcome::Clock::now(), end) && OnRunEnded) OnRunEnded(end);
}

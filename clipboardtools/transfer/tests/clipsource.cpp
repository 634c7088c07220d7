// Another program copying files the way a shell window does: the shell's data object for the
// files (all in one folder), put on the clipboard and flushed. Usage: clipsource FILE...
#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc < 2 || FAILED(OleInitialize(nullptr))) return 2;
  int rc = 1;
  IShellFolder* desktop = nullptr;
  IShellFolder* parent = nullptr;
  IDataObject* data = nullptr;
  std::vector<LPITEMIDLIST> items;
  std::wstring first = argv[1];
  std::wstring folder = first.substr(0, first.find_last_of(L'\\'));
  LPITEMIDLIST folderId = nullptr;
  if (SUCCEEDED(SHGetDesktopFolder(&desktop)) &&
      SUCCEEDED(desktop->ParseDisplayName(nullptr, nullptr, folder.data(), nullptr, &folderId, nullptr)) &&
      SUCCEEDED(desktop->BindToObject(folderId, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&parent)))) {
    for (int i = 1; i < argc; ++i) {
      std::wstring path = argv[i];
      std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
      LPITEMIDLIST id = nullptr;
      if (SUCCEEDED(parent->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, &id, nullptr))) items.push_back(id);
    }
    if (items.size() == static_cast<size_t>(argc - 1) &&
        SUCCEEDED(parent->GetUIObjectOf(nullptr, static_cast<UINT>(items.size()),
                                        const_cast<LPCITEMIDLIST*>(reinterpret_cast<LPITEMIDLIST*>(items.data())),
                                        IID_IDataObject, nullptr, reinterpret_cast<void**>(&data))) &&
        SUCCEEDED(OleSetClipboard(data)) && SUCCEEDED(OleFlushClipboard()))
      rc = 0;
  }
  for (LPITEMIDLIST id : items) CoTaskMemFree(id);
  if (folderId) CoTaskMemFree(folderId);
  if (data) data->Release();
  if (parent) parent->Release();
  if (desktop) desktop->Release();
  OleUninitialize();
  return rc;
}

// The identifiers of the Win32 windows' controls (GetDlgItem), named after
// the controls they stand for. Tests find the controls by them too.
#pragma once

namespace zorvane::win32 {

// The camera search window, "ONVIF устройства".
enum : int {
  kEdtUser = 101,
  kEdtPassword = 102,
  kCbbLocalIPs = 103,
  kLvDevices = 104,
  kLblProgress = 105,    // "Опрос камер: 3 из 8", "Найдено камер: 2, с ошибкой: 1"
  kPbSearching = 106,    // the moving bar while a search runs
  kButton2 = 107,        // "Поиск", disabled while a search runs
  kButton1 = 2,          // "Закрыть": IDCANCEL, so Escape closes the window
  kLblLogin = 108,
  kLblPassword = 109,
  kLblLocalIP = 110,
};

// The camera details window, "ONVIF устройство".
enum : int {
  kImgUser = 201,
  kEdtName = 202,
  kEdtHost = 203,
  kEdtPort = 204,
  kEdtSnapshotURI = 205,
  kTvProfiles = 206,
  kBtnOK = 207,      // neither button is bound to Enter or Escape
  kBtnCancel = 208,
  kLblName = 209,
  kLblHost = 210,
  kLblPort = 211,
  kLblSnapshotURI = 212,
  kLblProfiles = 213,
  kBvl1 = 214,
};

// The log viewer, "Просмотр лога".
enum : int {
  kCbbLogFiles = 301,
  kBtnOpenDir = 302,
  kMmoLog = 303,
  kLblStatus = 304,
};

}  // namespace zorvane::win32

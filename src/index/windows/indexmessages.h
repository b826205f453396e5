// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The texts that the windows of the chart index show in their status bars and labels.

#include <QString>

namespace indexmessages {

inline const QString NoSearchKey = QStringLiteral("検索のキーを設定してください。");
inline const QString SearchFailed =
    QStringLiteral("検索でエラーが発生しました。データベースを確認してください。");
inline const QString NoMatch = QStringLiteral("該当なし。");
inline const QString FileNotFound = QStringLiteral("ファイルが見つかりません。");
inline const QString PatientNumberError = QStringLiteral("患者番号エラー");
inline const QString ConnectionError = QStringLiteral("接続エラー");

} // namespace indexmessages

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The messages the maintenance windows show, in one place for the windows and their tests.

#include <QString>

namespace maintenance::texts {

inline const QString SearchError =
    QStringLiteral("検索でエラーが発生しました。データベースを確認してください。");
inline const QString PatientNumberError = QStringLiteral("患者番号エラー");
inline const QString DatabaseFault = QStringLiteral("データベースで障害が発生しました。");

// The existence check.
inline const QString RangeError = QStringLiteral("範囲エラー");
inline const QString NoRowsInRange = QStringLiteral("選択範囲内には、確認するデータがありません。");
inline const QString Done = QStringLiteral("完了");
inline const QString Stopped = QStringLiteral("中断しました");
inline const QString MissingFileJob = QStringLiteral("Missing File");
inline const QString ChangedCharts = QStringLiteral("【内容が変わったカルテ】");
inline const QString UnreadableCharts = QStringLiteral("【読み取れないカルテ】");
inline const QString UnhashedCharts = QStringLiteral("【ハッシュの記録がないカルテ】");

// The registration check.
inline const QString FolderRefused = QStringLiteral("指定したフォルダーでは、検索できません");
inline const QString WalkError =
    QStringLiteral("実行中に指定したフォルダーで、エラーが発生しました。");
inline const QString SerialNumberError = QStringLiteral("連番エラー");
inline const QString PathError = QStringLiteral("患者番号パスエラー");
inline const QString Registered = QStringLiteral("データベースに登録しました。");
inline const QString RegistrationJob = QStringLiteral("カルテのＤＢ登録確認");

// The maintenance window.
inline const QString NoMatch = QStringLiteral("該当なし。");
inline const QString DeleteQuestion = QStringLiteral("レコードを削除してもよいですか？");
inline const QString ChangedElsewhere =
    QStringLiteral("他の端末がこのレコードを変更しました。読み直した内容を表示しています。");
inline const QString DeletedElsewhere = QStringLiteral("他の端末がこのレコードを削除しました。");

} // namespace maintenance::texts

// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/messages.h"

namespace messages {

const QString NoScannerFolder = QStringLiteral("指定のフォルダーがありません。");
const QString NoFileType = QStringLiteral("ファイル形式が指定されていません。");
const QString CannotOverwrite = QStringLiteral("ファイルの上書きができません。");
const QString CannotCreate = QStringLiteral("ファイルまたはフォルダーを作成できません。");
const QString CannotDelete = QStringLiteral("ファイルの削除ができません。");
const QString PagesLeftOut = QStringLiteral("次のページは保存できませんでした。");
const QString PagesSetAside = QStringLiteral("これらのファイルは %1 に移しました。");
const QString UnreachableFiles =
    QStringLiteral("次のファイルは名前の文字コードが正しくないため、読み込めません。");

} // namespace messages

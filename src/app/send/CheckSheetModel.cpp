#include "CheckSheetModel.h"

#include "UserDefaults.h"
#include "Values.h"

QString CheckSheetModel::defaultsKey(const QString &sheetName)
{
    return QStringLiteral("show_") + sheetName;
}

bool CheckSheetModel::answersAtOnce(const QString &sheetName)
{
    const QVariant stored = UserDefaults::standardUserDefaults().objectForKey(defaultsKey(sheetName));
    return stored.isValid() && !boolValue(stored);
}

void CheckSheetModel::buttonClicked(const QString &sheetName, int tag, bool doNotAskAgain)
{
    if (tag == ConfirmTag)
        UserDefaults::standardUserDefaults().setInteger(doNotAskAgain ? 0 : 1, defaultsKey(sheetName));
}

#include "Views.h"

#include "Failure.h"
#include "Weather_Main.h"
#include "WorldTable.h"

void ConnectViews(TWeather_Editor_ &window)
{
    window.setWorldTableMaker([](TWeather_Editor_ &owner) -> QWidget * {
        auto *table = new TWorldTable(owner.document(), &owner);
        QObject::connect(table, &TWorldTable::seasonChosen, &owner,
                         [&owner](SeasonKey key) { RunGuarded([&owner, key] { owner.showSeasonOf(key); }); });
        table->setBeforeChange([&owner] { return owner.settleTyping(); });
        return table;
    });
}

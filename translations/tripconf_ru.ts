<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru" sourcelanguage="en">
<context>
    <name>Ports</name>
    <message>
        <source>The port %1 does not exist%2.</source>
        <translation>Порт %1 не существует%2.</translation>
    </message>
    <message>
        <source>%1 is not a serial port%2.</source>
        <translation>%1 не является последовательным портом%2.</translation>
    </message>
    <message>
        <source>No permission to open the port %1%2. Add your user to the group %3: sudo usermod -aG %3 $USER, then log in again.</source>
        <translation>Нет прав на открытие порта %1%2. Добавьте пользователя в группу %3: sudo usermod -aG %3 $USER, затем войдите в систему заново.</translation>
    </message>
    <message>
        <source>No permission to open the port %1%2. Only its owner %3 may read and write it, not its group %4: ask the administrator for access (a udev rule, for instance).</source>
        <translation>Нет прав на открытие порта %1%2. Читать и писать его может только владелец %3, не группа %4: попросите администратора дать доступ (например, правилом udev).</translation>
    </message>
    <message>
        <source>A stale lock file %1 (process %2, not running) blocks the port; remove it: sudo rm %1</source>
        <translation>Устаревший файл блокировки %1 (процесс %2 не запущен) не даёт открыть порт; удалите его: sudo rm %1</translation>
    </message>
    <message>
        <source>The port %1 is in use by another program (%2).</source>
        <translation>Порт %1 занят другой программой (%2).</translation>
    </message>
    <message>
        <source>The port %1 is in use by another program.</source>
        <translation>Порт %1 занят другой программой.</translation>
    </message>
    <message>
        <source>The port %1 cannot be opened%2.</source>
        <translation>Не могу открыть порт %1%2.</translation>
    </message>
    <message>
        <source>free</source>
        <translation>свободен</translation>
    </message>
    <message>
        <source>in use by another program</source>
        <translation>занят другой программой</translation>
    </message>
    <message>
        <source>in use by %1</source>
        <translation>занят: %1</translation>
    </message>
    <message>
        <source>no such device</source>
        <translation>нет такого устройства</translation>
    </message>
    <message>
        <source>not a serial device</source>
        <translation>не последовательный порт</translation>
    </message>
</context>
<context>
    <name>TBackupListDlg</name>
    <message>
        <source>Restore from a backup</source>
        <translation>Восстановление из резервной копии</translation>
    </message>
    <message>
        <source>There are no backups in %1.</source>
        <translation>Резервных копий нет в папке %1.</translation>
    </message>
    <message>
        <source>Backups in %1:</source>
        <translation>Резервные копии в папке %1:</translation>
    </message>
    <message>
        <source>Backups</source>
        <translation>Резервные копии</translation>
    </message>
    <message>
        <source>Date and time</source>
        <translation>Дата и время</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Порт</translation>
    </message>
    <message>
        <source>Settings version</source>
        <translation>Версия настроек</translation>
    </message>
    <message>
        <source>Comparison</source>
        <translation>Сравнение</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Файл</translation>
    </message>
    <message>
        <source>unreadable: %1</source>
        <translation>не читается: %1</translation>
    </message>
    <message>
        <source>Load</source>
        <translation>Загрузить</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>no settings to compare</source>
        <translation>нет настроек для сравнения</translation>
    </message>
    <message>
        <source>same as the current settings</source>
        <translation>совпадает с текущими</translation>
    </message>
    <message>
        <source>differs (outside the settings record)</source>
        <translation>отличается (вне записи настроек)</translation>
    </message>
    <message>
        <source>differs: %1 fields</source>
        <translation>отличается: полей %1</translation>
    </message>
</context>
<context>
    <name>TBoxTexts</name>
    <message>
        <source>Unknown error</source>
        <translation>Unknown error</translation>
    </message>
    <message>
        <source>&amp;Yes</source>
        <translation>&amp;Yes</translation>
    </message>
    <message>
        <source>&amp;No</source>
        <translation>&amp;No</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>Confirm</source>
        <translation>Confirm</translation>
    </message>
</context>
<context>
    <name>TMainForm</name>
    <message>
        <source>The chosen port COM%1 cannot be used:
%2

Choose another port?</source>
        <translation>Выбранный порт COM%1 не может быть использован:
%2

Выбрать другой порт?</translation>
    </message>
    <message>
        <source>The backup of the trip computer&apos;s settings could not be saved, so nothing was written.
%1</source>
        <translation>Не удалось сохранить резервную копию настроек МК, поэтому в МК ничего не записано.
%1</translation>
    </message>
    <message>
        <source>A backup of the trip computer&apos;s former settings: %1</source>
        <translation>Резервная копия прежних настроек МК: %1</translation>
    </message>
    <message>
        <source>Nothing was written to the trip computer.</source>
        <translation>В МК ничего не записано.</translation>
    </message>
    <message>
        <source>English language</source>
        <translation>English language</translation>
    </message>
    <message>
        <source>Viewing and configuring trip computer parameters (Version 12.03.26)</source>
        <translation>Просмотр и настройка параметров МК (Версия 12.03.26)</translation>
    </message>
    <message>
        <source>Attention! For the program to work correctly, you MUST first download the latest version of the software to the device.</source>
        <translation>Внимание! Для правильной работы программы НЕОБХОДИМО предварительно загрузить в МК последнюю версию ПО.</translation>
    </message>
    <message>
        <source>Step 1</source>
        <translation>Шаг 1</translation>
    </message>
    <message>
        <source>For an adequate display of possible settings, read the current settings of the device.</source>
        <translation>Для адекватного отображения возможных вариантов настроек считайте текущие настройки МК.</translation>
    </message>
    <message>
        <source>Read settings from the device</source>
        <translation>Считать настройки из МК</translation>
    </message>
    <message>
        <source>or, if you have previously saved the settings to disk, read the file from disk.</source>
        <translation>или, если Вы ранее уже сохраняли настройки на диск, считайте файл с диска.</translation>
    </message>
    <message>
        <source>Read settings from a file on disk</source>
        <translation>Считать настройки из файла на диске</translation>
    </message>
    <message>
        <source>Step 2</source>
        <translation>Шаг 2</translation>
    </message>
    <message>
        <source>Make changes to the settings.</source>
        <translation>Произведите изменения настроек.</translation>
    </message>
    <message>
        <source>Edit settings</source>
        <translation>Редактировать настройки</translation>
    </message>
    <message>
        <source>Step 3</source>
        <translation>Шаг 3</translation>
    </message>
    <message>
        <source>To be able to view or edit the settings again, save the settings to disk.</source>
        <translation>Для возможности повторного просмотра или редактирования сохраните настройки на диск.</translation>
    </message>
    <message>
        <source>Save the settings to a file on disk</source>
        <translation>Сохранить настройки в файл на диске</translation>
    </message>
    <message>
        <source>Step 4</source>
        <translation>Шаг 4</translation>
    </message>
    <message>
        <source>Write the settings to the device</source>
        <translation>Запишите настройки в МК</translation>
    </message>
    <message>
        <source>Write the settings to the device</source>
        <comment>button</comment>
        <translation>Записать настройки в МК</translation>
    </message>
    <message>
        <source>Select the COM port manually</source>
        <translation>Выбрать СОМ-порт вручную</translation>
    </message>
    <message>
        <source>Restore from a backup...</source>
        <translation>Восстановить из резервной копии...</translation>
    </message>
    <message>
        <source>The trip computer&apos;s screen</source>
        <translation>Экран МК</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Состояние</translation>
    </message>
    <message>
        <source>none — </source>
        <translation>нет — </translation>
    </message>
    <message>
        <source> — not found now</source>
        <translation> — сейчас не найден</translation>
    </message>
    <message>
        <source>Port: </source>
        <translation>Порт: </translation>
    </message>
    <message>
        <source>Trip computer: settings version %1, answered at %2 on %3</source>
        <translation>МК: версия настроек %1, ответил в %2 на %3</translation>
    </message>
    <message>
        <source>Trip computer: no answer read yet</source>
        <translation>МК: ещё не отвечал</translation>
    </message>
    <message>
        <source>Settings: none read yet</source>
        <translation>Настройки: ещё не считаны</translation>
    </message>
    <message>
        <source>Settings: from the file %1</source>
        <translation>Настройки: из файла %1</translation>
    </message>
    <message>
        <source>Settings: read from the trip computer on %1 at %2</source>
        <translation>Настройки: считаны из МК на %1 в %2</translation>
    </message>
    <message>
        <source>Settings: in the program</source>
        <translation>Настройки: в программе</translation>
    </message>
    <message>
        <source>edited, not saved</source>
        <translation>изменены, не сохранены</translation>
    </message>
    <message>
        <source>saved to the file %1</source>
        <translation>сохранены в файл %1</translation>
    </message>
    <message>
        <source>not edited</source>
        <translation>не изменялись</translation>
    </message>
    <message>
        <source>written to the trip computer on %1 at %2</source>
        <translation>записаны в МК на %1 в %2</translation>
    </message>
    <message>
        <source>written to the trip computer on %1 at %2, not verified</source>
        <translation>записаны в МК на %1 в %2, но не проверены</translation>
    </message>
    <message>
        <source>possibly partly written to the trip computer on %1 (%2)</source>
        <translation>возможно, записаны в МК на %1 частично (%2)</translation>
    </message>
    <message>
        <source> (the former ones in the backup %1)</source>
        <translation> (прежние — в резервной копии %1)</translation>
    </message>
    <message>
        <source>not written to the trip computer</source>
        <translation>в МК не записаны</translation>
    </message>
    <message>
        <source>no settings</source>
        <translation>нет настроек</translation>
    </message>
    <message>
        <source>State: </source>
        <translation>Состояние: </translation>
    </message>
    <message>
        <source>The translation &quot;%1&quot; named in the INI file is not available (this program has: %2); Russian is used in its place.</source>
        <translation>Перевод «%1», указанный в INI-файле, недоступен (в программе есть: %2); вместо него используется русский.</translation>
    </message>
</context>
<context>
    <name>TPortNumberDlg</name>
    <message>
        <source>Port number selection</source>
        <translation>Port number selection</translation>
    </message>
    <message>
        <source>Select serial port</source>
        <translation>Select serial port</translation>
    </message>
</context>
<context>
    <name>TWindowTexts</name>
    <message>
        <source>It is the JSON form of a settings file (tripconf-cli export writes it), not a settings file: use tripconf-cli import to make one of it.</source>
        <translation>Это файл настроек в виде JSON (его пишет tripconf-cli export), а не сам файл настроек: сделайте из него файл настроек командой tripconf-cli import.</translation>
    </message>
    <message>
        <source>It is a PNG image, not a settings file.</source>
        <translation>Это изображение PNG, а не файл настроек.</translation>
    </message>
    <message>
        <source>It is a BMP image, not a settings file.</source>
        <translation>Это изображение BMP, а не файл настроек.</translation>
    </message>
    <message>
        <source>It is a PPM image, not a settings file.</source>
        <translation>Это изображение PPM, а не файл настроек.</translation>
    </message>
    <message>
        <source>Cannot load settings from file &quot;%1&quot;. %2</source>
        <translation>Невозможно загрузить настройки из файла &quot;%1&quot;. %2</translation>
    </message>
    <message>
        <source>It is possible that the settings were changed, but not saved to disk. Save it?</source>
        <translation>Возможно, настройки были изменены, но не сохранены на диске. Сохранить?</translation>
    </message>
    <message>
        <source>The file already exists. Rewrite it?</source>
        <translation>Файл уже существует. Переписать?</translation>
    </message>
</context>
<context>
    <name>TWriteReviewDlg</name>
    <message>
        <source>Writing settings to the trip computer</source>
        <translation>Запись настроек в МК</translation>
    </message>
    <message>
        <source>The trip computer on %1, settings version %2.</source>
        <translation>МК на порту %1, версия настроек %2.</translation>
    </message>
    <message>
        <source>The trip computer already holds these settings: writing them changes nothing.</source>
        <translation>Настройки в МК уже такие же, как записываемые: запись ничего не изменит.</translation>
    </message>
    <message>
        <source>Fields that will change (%1):</source>
        <translation>Будут изменены поля (%1):</translation>
    </message>
    <message>
        <source>Fields that change</source>
        <translation>Изменяемые поля</translation>
    </message>
    <message>
        <source>Setting</source>
        <translation>Параметр</translation>
    </message>
    <message>
        <source>Field</source>
        <translation>Поле</translation>
    </message>
    <message>
        <source>Now in the trip computer</source>
        <translation>Сейчас в МК</translation>
    </message>
    <message>
        <source>To be written</source>
        <translation>Будет записано</translation>
    </message>
    <message>
        <source>Write</source>
        <translation>Записать</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
</context>
<context>
    <name>Transfers</name>
    <message>
        <source>I can not connect to the device</source>
        <translation>Не могу подключиться к МК...</translation>
    </message>
    <message>
        <source>The settings are being read...</source>
        <translation>Чтение настроек...</translation>
    </message>
    <message>
        <source>The settings are recorded...</source>
        <translation>Запись настроек...</translation>
    </message>
    <message>
        <source>The settings version does not match the device version!</source>
        <translation>Версия настроек не совпадает с версией устройства!</translation>
    </message>
    <message>
        <source>The settings are recorded in the device</source>
        <translation>Настройки записаны в МК</translation>
    </message>
    <message>
        <source>The trip computer may now hold partly written settings: write them again.</source>
        <translation>МК может содержать частично записанные настройки: повторите запись.</translation>
    </message>
    <message>
        <source>The write was stopped after %1 of %2 blocks.</source>
        <translation>Запись остановлена: отправлено блоков %1 из %2.</translation>
    </message>
    <message>
        <source>the program was asked to end</source>
        <translation>программу попросили завершиться</translation>
    </message>
    <message>
        <source>The settings record size (%1) is outside 4..124. Nothing was written.</source>
        <translation>Размер записи настроек (%1) вне пределов 4..124. Настройки не записаны.</translation>
    </message>
    <message>
        <source>Settings version: %1, device version: %2.</source>
        <translation>Версия настроек: %1, версия МК: %2.</translation>
    </message>
    <message>
        <source>The trip computer on the port now holds other settings than when they were read before the write (%1 differs): another trip computer is connected, or its settings changed. Nothing was written.</source>
        <translation>МК на порту теперь хранит другие настройки, чем при чтении перед записью (%1 отличается): подключён другой МК или его настройки изменились. Настройки не записаны.</translation>
    </message>
    <message>
        <source>The settings were written, but could not be read back: %1</source>
        <translation>Настройки записаны, но не могут быть считаны обратно: %1</translation>
    </message>
    <message>
        <source>The settings read back differ from those written: %1 was written as %2 but reads back as %3 (first difference at offset 0x%4)</source>
        <translation>Считанные обратно настройки отличаются от записанных: %1 записано как %2, а считывается как %3 (первое отличие по смещению 0x%4)</translation>
    </message>
    <message>
        <source>; %1 fields differ</source>
        <translation>; отличаются полей: %1</translation>
    </message>
</context>
</TS>

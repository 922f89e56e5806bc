<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>AboutDialog</name>
    <message>
        <source>About</source>
        <translation>О программе</translation>
    </message>
    <message>
        <source>Device Manager</source>
        <translation>Менеджер устройств</translation>
    </message>
    <message>
        <source>Version:</source>
        <translation>Версия:</translation>
    </message>
    <message>
        <source>Copyright © 2026. All rights reserved.</source>
        <translation>© 2026. Все права защищены.</translation>
    </message>
</context>
<context>
    <name>AggregateDoseDialog</name>
    <message>
        <source>Set aggregate dose</source>
        <translation>Задать накопленную дозу</translation>
    </message>
    <message>
        <source>Aggregation time from</source>
        <translation>Начало периода накопления</translation>
    </message>
    <message>
        <source>dd.MM.yyyy HH:mm:ss</source>
        <translation>dd.MM.yyyy HH:mm:ss</translation>
    </message>
    <message>
        <source>Aggregation time due</source>
        <translation>Конец периода накопления</translation>
    </message>
    <message>
        <source>Aggregate dose</source>
        <translation>Накопленная доза</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>Применить</translation>
    </message>
    <message>
        <source>Return</source>
        <translation>Return</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Esc</source>
        <translation>Esc</translation>
    </message>
    <message>
        <source>Wrong dates</source>
        <translation>Неверные даты</translation>
    </message>
    <message>
        <source>From date is later than due date or the same.</source>
        <translation>Дата начала позже даты окончания или совпадает с ней.</translation>
    </message>
    <message>
        <source>The aggregation period is too long.</source>
        <translation>Период накопления слишком длинный.</translation>
    </message>
</context>
<context>
    <name>ChangeJournalDialog</name>
    <message>
        <source>Journal of changes</source>
        <translation>Журнал изменений</translation>
    </message>
    <message>
        <source>Changes made to monitors, oldest first:</source>
        <translation>Изменения, внесённые в мониторы, от старых к новым:</translation>
    </message>
    <message>
        <source>Changes made to the monitor %1, oldest first:</source>
        <translation>Изменения, внесённые в монитор %1, от старых к новым:</translation>
    </message>
    <message>
        <source>The journal %1 cannot be read: %2</source>
        <translation>Не удалось прочитать журнал %1: %2</translation>
    </message>
    <message>
        <source>No changes have been journalled.</source>
        <translation>В журнале нет изменений.</translation>
    </message>
</context>
<context>
    <name>ChangePasswordTask</name>
    <message>
        <source>Changing password</source>
        <translation>Смена пароля</translation>
    </message>
</context>
<context>
    <name>CommandHandle</name>
    <message>
        <source>the device does not take commands any more</source>
        <translation>устройство больше не принимает команды</translation>
    </message>
</context>
<context>
    <name>CsvConverter</name>
    <message>
        <source>Export CSV</source>
        <translation>Экспорт в CSV</translation>
    </message>
</context>
<context>
    <name>Device</name>
    <message>
        <source>VARNO Ormelin</source>
        <translation>VARNO Ormelin</translation>
    </message>
    <message>
        <source>Unknown Device</source>
        <translation>Неизвестное устройство</translation>
    </message>
    <message>
        <source>Task aborted</source>
        <translation>Операция прервана</translation>
    </message>
    <message>
        <source>Timeout</source>
        <translation>Время ожидания истекло</translation>
    </message>
</context>
<context>
    <name>DeviceManager</name>
    <message>
        <source>A VARNO monitor was found at %1, but this user may not open it. Install the program&apos;s udev rule as %2 (installing the program&apos;s package does this), or join the &quot;dialout&quot; group and log in again. Then plug the monitor in again.</source>
        <translation>Прибор VARNO обнаружен на %1, но этому пользователю открывать его не разрешено. Установите правило udev программы в файл %2 (это делает установка пакета программы) или вступите в группу «dialout» и войдите в систему заново. Затем подключите прибор заново.</translation>
    </message>
    <message>
        <source>A VARNO monitor was found at %1, but %2 is using its port. Close that program (for ModemManager, install the udev rule %3), then plug the monitor in again.</source>
        <translation>Прибор VARNO обнаружен на %1, но его порт занят программой %2. Закройте эту программу (если это ModemManager, установите правило udev %3), затем подключите прибор заново.</translation>
    </message>
    <message>
        <source>A VARNO monitor was found at %1, but another program is using its port: a terminal program, another copy of this program, or ModemManager when the udev rule %2 is not installed. Close it, then plug the monitor in again.</source>
        <translation>Прибор VARNO обнаружен на %1, но его порт занят другой программой: терминальной программой, другой копией этой программы или ModemManager, если правило udev %2 не установлено. Закройте её, затем подключите прибор заново.</translation>
    </message>
    <message>
        <source>%1 (pid %2)</source>
        <translation>%1 (PID %2)</translation>
    </message>
</context>
<context>
    <name>DevicePanel</name>
    <message>
        <source>The device was disconnected or replaced while the dialog was open. Nothing was sent.</source>
        <translation>Прибор был отключён или заменён, пока было открыто окно. Ничего не отправлено.</translation>
    </message>
</context>
<context>
    <name>DeviceTask</name>
    <message>
        <source>the password is %1 bytes long; the device takes passwords of 0 to %2 bytes</source>
        <translation>длина пароля %1 байт; устройство принимает пароли длиной от 0 до %2 байт</translation>
    </message>
</context>
<context>
    <name>DeviceWidget</name>
    <message>
        <source>Unknown Device</source>
        <translation>Неизвестное устройство</translation>
    </message>
    <message>
        <source>VARNO Ormelin</source>
        <translation>VARNO Ormelin</translation>
    </message>
</context>
<context>
    <name>DownloadFrame</name>
    <message>
        <source>Downloading</source>
        <translation>Загрузка</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>File %1 of %2</source>
        <translation>Файл %1 из %2</translation>
    </message>
</context>
<context>
    <name>FileReadTask</name>
    <message>
        <source>Reading file</source>
        <translation>Чтение файла</translation>
    </message>
    <message>
        <source>no device file was named to read</source>
        <translation>не указан файл устройства для чтения</translation>
    </message>
</context>
<context>
    <name>FileRemoveTask</name>
    <message>
        <source>Removing file</source>
        <translation>Удаление файла</translation>
    </message>
    <message>
        <source>no such file</source>
        <translation>нет такого файла</translation>
    </message>
</context>
<context>
    <name>FileWriteTask</name>
    <message>
        <source>Creating file on device</source>
        <translation>Создание файла на устройстве</translation>
    </message>
    <message>
        <source>Writing file</source>
        <translation>Запись файла</translation>
    </message>
    <message>
        <source>cannot read %1</source>
        <translation>не удаётся прочитать %1</translation>
    </message>
    <message>
        <source>%1 is %2 bytes long; the device takes files of 0 to %3 bytes</source>
        <translation>размер %1 составляет %2 байт; устройство принимает файлы размером от 0 до %3 байт</translation>
    </message>
</context>
<context>
    <name>FilesListTask</name>
    <message>
        <source>Listing files</source>
        <translation>Получение списка файлов</translation>
    </message>
</context>
<context>
    <name>FirmwareUploadDialog</name>
    <message>
        <source>Firmware upload</source>
        <translation>Загрузка прошивки</translation>
    </message>
    <message>
        <source>Proceed</source>
        <translation>Продолжить</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Ready to upload</source>
        <translation>Готово к загрузке</translation>
    </message>
    <message>
        <source>Removing old</source>
        <translation>Удаление старой прошивки</translation>
    </message>
    <message>
        <source>Writing new</source>
        <translation>Запись новой прошивки</translation>
    </message>
    <message>
        <source>Success</source>
        <translation>Готово</translation>
    </message>
    <message>
        <source>Uploading aborted</source>
        <translation>Загрузка прервана</translation>
    </message>
    <message>
        <source>Uploading failed</source>
        <translation>Загрузка не удалась</translation>
    </message>
    <message>
        <source>We are ready to upload new firmware.
Please confirm you wish to proceed.</source>
        <translation>Всё готово к загрузке новой прошивки.
Подтвердите, что хотите продолжить.</translation>
    </message>
    <message>
        <source>Removing old firmware files.
This may take a while.</source>
        <translation>Удаление файлов старой прошивки.
Это может занять некоторое время.</translation>
    </message>
    <message>
        <source>Writing new firmware files.
This may take a while.</source>
        <translation>Запись файлов новой прошивки.
Это может занять некоторое время.</translation>
    </message>
    <message>
        <source>Device was updated successfully.
Please disconnect it from your PC or Mac.</source>
        <translation>Устройство успешно обновлено.
Отключите его от компьютера.</translation>
    </message>
    <message>
        <source>Operation was aborted because the connection to the device was lost.</source>
        <translation>Операция прервана: связь с устройством потеряна.</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Закрыть</translation>
    </message>
    <message>
        <source>Stage: %1/%2</source>
        <translation>Этап: %1/%2</translation>
    </message>
    <message>
        <source>There are no firmware files to upload.
Nothing was changed on the device.</source>
        <translation>Нет файлов прошивки для загрузки.
На устройстве ничего не изменено.</translation>
    </message>
    <message>
        <source>%1
Nothing was changed on the device.</source>
        <translation>%1
На устройстве ничего не изменено.</translation>
    </message>
    <message>
        <source>the device reported an error</source>
        <translation>устройство сообщило об ошибке</translation>
    </message>
    <message>
        <source>the command was canceled</source>
        <translation>команда отменена</translation>
    </message>
    <message>
        <source>the device did not answer in time</source>
        <translation>устройство не ответило вовремя</translation>
    </message>
    <message>
        <source>result code %1</source>
        <translation>код результата %1</translation>
    </message>
    <message>
        <source>The upload stopped there; the other files on the device were left as they are.</source>
        <translation>Загрузка остановлена на этом шаге; остальные файлы на устройстве оставлены без изменений.</translation>
    </message>
    <message>
        <source>The files on the device could not be listed: %1.
Nothing was changed on the device.</source>
        <translation>Не удалось получить список файлов на устройстве: %1.
На устройстве ничего не изменено.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; could not be removed from the device: %2.
%3</source>
        <translation>Не удалось удалить «%1» с устройства: %2.
%3</translation>
    </message>
    <message>
        <source>&quot;%1&quot; could not be written to the device: %2.
%3</source>
        <translation>Не удалось записать «%1» на устройство: %2.
%3</translation>
    </message>
    <message>
        <source>The files on the device could not be listed.
Nothing was changed on the device.</source>
        <translation>Не удалось получить список файлов на устройстве.
На устройстве ничего не изменено.</translation>
    </message>
    <message>
        <source>%1
The upload stopped there; the other files on the device were left as they are.</source>
        <translation>%1
Загрузка остановлена на этом шаге; остальные файлы на устройстве оставлены без изменений.</translation>
    </message>
</context>
<context>
    <name>FrameHystogram</name>
    <message>
        <source>No records to show</source>
        <translation>Нет записей для показа</translation>
    </message>
</context>
<context>
    <name>GeneralDeviceWidget</name>
    <message>
        <source>Device Information</source>
        <translation>Сведения об устройстве</translation>
    </message>
    <message>
        <source>Power Source</source>
        <translation>Источник питания</translation>
    </message>
    <message>
        <source>Battery</source>
        <translation>Батарея</translation>
    </message>
    <message>
        <source>Firmware version</source>
        <translation>Версия прошивки</translation>
    </message>
    <message>
        <source>0.0</source>
        <translation>0.0</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Обновить</translation>
    </message>
    <message>
        <source>Update to the latest firmware and software.</source>
        <translation>Обновить прошивку и программу до последней версии.</translation>
    </message>
    <message>
        <source>Latest available firmware version</source>
        <translation>Последняя доступная версия прошивки</translation>
    </message>
    <message>
        <source>Power-On time</source>
        <translation>Время работы</translation>
    </message>
    <message>
        <source>10 h 23 min</source>
        <translation>10 ч 23 мин</translation>
    </message>
    <message>
        <source>Power Cycles</source>
        <translation>Циклы включения</translation>
    </message>
    <message>
        <source>10</source>
        <translation>10</translation>
    </message>
    <message>
        <source>Serial Number</source>
        <translation>Серийный номер</translation>
    </message>
    <message>
        <source>Device Settings</source>
        <translation>Настройки устройства</translation>
    </message>
    <message>
        <source>Calibration coefficient</source>
        <translation>Калибровочный коэффициент</translation>
    </message>
    <message>
        <source>Read coefficient</source>
        <translation>Считать</translation>
    </message>
    <message>
        <source>Set coefficient</source>
        <translation>Записать</translation>
    </message>
    <message>
        <source>Change password</source>
        <translation>Сменить пароль</translation>
    </message>
    <message>
        <source> h </source>
        <translation> ч </translation>
    </message>
    <message>
        <source> min </source>
        <translation> мин </translation>
    </message>
    <message>
        <source>On-Line</source>
        <translation>Внешнее питание</translation>
    </message>
    <message>
        <source>Charging</source>
        <translation>Зарядка</translation>
    </message>
    <message>
        <source>Accumulator</source>
        <translation>Аккумулятор</translation>
    </message>
    <message>
        <source>%1 %</source>
        <translation>%1 %</translation>
    </message>
    <message>
        <source>Not available</source>
        <translation>Недоступно</translation>
    </message>
    <message>
        <source>Password request</source>
        <translation>Запрос пароля</translation>
    </message>
    <message>
        <source>Please enter a password.</source>
        <translation>Введите пароль.</translation>
    </message>
    <message>
        <source>Write calibration</source>
        <translation>Запись калибровки</translation>
    </message>
    <message>
        <source>Calibration was written successfully.</source>
        <translation>Калибровочный коэффициент успешно записан.</translation>
    </message>
    <message>
        <source>Calibration wasn&apos;t written because of error or wrong password.</source>
        <translation>Калибровочный коэффициент не записан: произошла ошибка или введён неверный пароль.</translation>
    </message>
    <message>
        <source>Password change</source>
        <translation>Смена пароля</translation>
    </message>
    <message>
        <source>Password was changed successfully.</source>
        <translation>Пароль успешно изменён.</translation>
    </message>
    <message>
        <source>Password wasn&apos;t changed because of error or wrong old password.</source>
        <translation>Пароль не изменён: произошла ошибка или введён неверный старый пароль.</translation>
    </message>
    <message>
        <source>The calibration coefficient must lie between %1 and %2.</source>
        <translation>Калибровочный коэффициент должен быть в пределах от %1 до %2.</translation>
    </message>
    <message>
        <source>Journal of changes</source>
        <translation>Журнал изменений</translation>
    </message>
</context>
<context>
    <name>HistoryConverter</name>
    <message>
        <source>History parsing</source>
        <translation>Разбор истории</translation>
    </message>
    <message>
        <source>Converting</source>
        <translation>Преобразование</translation>
    </message>
    <message numerus="yes">
        <source>%n readings in the repeated hour at the change from summer time were not stored</source>
        <translation>
            <numerusform>%n показание в повторённом часе при переходе с летнего времени не сохранено</numerusform>
            <numerusform>%n показания в повторённом часе при переходе с летнего времени не сохранены</numerusform>
            <numerusform>%n показаний в повторённом часе при переходе с летнего времени не сохранены</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>HistoryDownload</name>
    <message>
        <source>no device is connected</source>
        <translation>устройство не подключено</translation>
    </message>
    <message>
        <source>cannot create %1</source>
        <translation>не удаётся создать %1</translation>
    </message>
    <message>
        <source>the device does not take commands any more</source>
        <translation>устройство больше не принимает команды</translation>
    </message>
    <message>
        <source>canceled</source>
        <translation>отменено</translation>
    </message>
    <message>
        <source>the device went away</source>
        <translation>устройство отключено</translation>
    </message>
    <message>
        <source>%1: the device did not answer in time</source>
        <translation>%1: устройство не ответило вовремя</translation>
    </message>
    <message>
        <source>the files on the device could not be listed</source>
        <translation>не удалось получить список файлов устройства</translation>
    </message>
    <message>
        <source>there is no %1 on the device</source>
        <translation>на устройстве нет файла %1</translation>
    </message>
    <message>
        <source>the device did not send %1</source>
        <translation>устройство не передало %1</translation>
    </message>
    <message>
        <source>no history written: %1</source>
        <translation>история не записана: %1</translation>
    </message>
    <message>
        <source>the monitor&apos;s identity could not be read</source>
        <translation>не удалось прочитать данные монитора</translation>
    </message>
    <message>
        <source>the calibration could not be read</source>
        <translation>не удалось прочитать калибровку</translation>
    </message>
    <message>
        <source>cannot create a folder for the statistics in %1</source>
        <translation>не удалось создать папку для статистики в %1</translation>
    </message>
    <message>
        <source>%1 was saved with %2 bytes, the monitor listed %3</source>
        <translation>%1 сохранён размером %2 байт, а монитор указал %3</translation>
    </message>
    <message>
        <source>the provenance could not be written into the history: %1</source>
        <translation>не удалось записать происхождение в историю: %1</translation>
    </message>
    <message>
        <source>the history could not be opened again: %1</source>
        <translation>не удалось повторно открыть историю: %1</translation>
    </message>
    <message>
        <source>the history holds %1 records, the conversion wrote %2</source>
        <translation>в истории %1 записей, а при преобразовании записано %2</translation>
    </message>
</context>
<context>
    <name>HistoryErase</name>
    <message>
        <source>the statistics have not been downloaded and verified yet</source>
        <translation>статистика ещё не загружена и не проверена</translation>
    </message>
    <message>
        <source>the last download was not verified: %1</source>
        <translation>последняя загрузка не прошла проверку: %1</translation>
    </message>
    <message>
        <source>no device is connected</source>
        <translation>устройство не подключено</translation>
    </message>
    <message>
        <source>the statistics were downloaded from another monitor (%1)</source>
        <translation>статистика была загружена с другого монитора (%1)</translation>
    </message>
    <message>
        <source>the device does not take commands any more</source>
        <translation>устройство больше не принимает команды</translation>
    </message>
    <message>
        <source>the files on the device could not be listed</source>
        <translation>не удалось получить список файлов устройства</translation>
    </message>
    <message>
        <source>there is no %1 on the device</source>
        <translation>на устройстве нет файла %1</translation>
    </message>
    <message>
        <source>the statistics on the monitor changed since the download; download them again</source>
        <translation>статистика на мониторе изменилась после загрузки; загрузите её снова</translation>
    </message>
    <message>
        <source>the device did not remove %1</source>
        <translation>устройство не удалило %1</translation>
    </message>
</context>
<context>
    <name>HistoryViewWidget</name>
    <message>
        <source>History View</source>
        <translation>Просмотр истории</translation>
    </message>
    <message>
        <source>Read history from device.</source>
        <translation>Считать историю с устройства.</translation>
    </message>
    <message>
        <source>Remove history from device.</source>
        <translation>Удалить историю с устройства.</translation>
    </message>
    <message>
        <source>Open history from local storage.</source>
        <translation>Открыть историю, сохранённую на компьютере.</translation>
    </message>
    <message>
        <source>Export data to CSV.</source>
        <translation>Экспортировать данные в CSV.</translation>
    </message>
    <message>
        <source>Open history filter toolbox.</source>
        <translation>Открыть панель фильтра истории.</translation>
    </message>
    <message>
        <source>Reading history</source>
        <translation>Чтение истории</translation>
    </message>
    <message>
        <source>Reading the history from the device failed
because a file is lost or corrupted.</source>
        <translation>Не удалось считать историю с устройства:
файл утерян или повреждён.</translation>
    </message>
    <message>
        <source>File format error</source>
        <translation>Ошибка формата файла</translation>
    </message>
    <message>
        <source>Can&apos;t read history from the specified file.</source>
        <translation>Не удаётся прочитать историю из указанного файла.</translation>
    </message>
    <message>
        <source>History files</source>
        <translation>Файлы истории</translation>
    </message>
    <message>
        <source>Open history</source>
        <translation>Открыть историю</translation>
    </message>
    <message>
        <source>No data</source>
        <translation>Нет данных</translation>
    </message>
    <message>
        <source>There is no data to export.</source>
        <translation>Нет данных для экспорта.</translation>
    </message>
    <message>
        <source>Export CSV...</source>
        <translation>Экспорт в CSV...</translation>
    </message>
    <message>
        <source>CSV (*.csv)</source>
        <translation>CSV (*.csv)</translation>
    </message>
    <message>
        <source>Delete history?</source>
        <translation>Удалить историю?</translation>
    </message>
    <message>
        <source>Delete the history from the device?
It cannot be restored afterwards.</source>
        <translation>Удалить историю с устройства?
Восстановить её будет невозможно.</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Удалить</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Removing history</source>
        <translation>Удаление истории</translation>
    </message>
    <message>
        <source>Please, connect the device to perform this operation.</source>
        <translation>Для выполнения этой операции подключите устройство.</translation>
    </message>
    <message>
        <source>The history was removed from the device.</source>
        <translation>История успешно удалена с устройства.</translation>
    </message>
    <message>
        <source>The history was not removed because the file on the device is protected or corrupted.</source>
        <translation>История не удалена: файл на устройстве защищён или повреждён.</translation>
    </message>
    <message>
        <source>History parsing</source>
        <translation>Разбор истории</translation>
    </message>
    <message>
        <source>Loading</source>
        <translation>Загрузка</translation>
    </message>
    <message>
        <source>History</source>
        <translation>История</translation>
    </message>
    <message>
        <source>%1 already exists.
Do you want to replace it?</source>
        <translation>%1 уже существует.
Заменить его?</translation>
    </message>
    <message>
        <source>Could not write %1:
%2</source>
        <translation>Не удалось записать %1:
%2</translation>
    </message>
    <message>
        <source>Where this history came from.</source>
        <translation>Происхождение этой истории.</translation>
    </message>
    <message>
        <source>History was not removed from the device: %1.</source>
        <translation>История не удалена с устройства: %1.</translation>
    </message>
    <message>
        <source>The history cannot be read: %1</source>
        <translation>Не удалось прочитать историю: %1</translation>
    </message>
    <message>
        <source>This history was written without a record of where it came from.</source>
        <translation>Эта история записана без сведений о её происхождении.</translation>
    </message>
    <message>
        <source>History provenance</source>
        <translation>Происхождение истории</translation>
    </message>
</context>
<context>
    <name>InputPasswordDialog</name>
    <message>
        <source>Password request</source>
        <translation>Запрос пароля</translation>
    </message>
    <message>
        <source>Please enter a password.</source>
        <translation>Введите пароль.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>ОК</translation>
    </message>
    <message>
        <source>Return</source>
        <translation>Return</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Esc</source>
        <translation>Esc</translation>
    </message>
</context>
<context>
    <name>InstallerLaunch</name>
    <message>
        <source>The update package was handed to your software installer:
%1
Restart the program once it is installed.</source>
        <translation>Пакет обновления передан установщику программ:
%1
После установки перезапустите программу.</translation>
    </message>
    <message>
        <source>The update was downloaded but cannot be installed automatically on this system.
The downloaded file is:
%1</source>
        <translation>Обновление загружено, но в этой системе его нельзя установить автоматически.
Загруженный файл:
%1</translation>
    </message>
    <message>
        <source>Software update</source>
        <translation>Обновление программы</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>VARNO Device Manager</source>
        <translation>Менеджер устройств VARNO</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Файл</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Настройки</translation>
    </message>
    <message>
        <source>Language</source>
        <translation>Язык</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Справка</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Выход</translation>
    </message>
    <message>
        <source>Exit program</source>
        <translation>Выйти из программы</translation>
    </message>
    <message>
        <source>About</source>
        <translation>О программе</translation>
    </message>
    <message>
        <source>About program</source>
        <translation>О программе</translation>
    </message>
    <message>
        <source>Network</source>
        <translation>Сеть</translation>
    </message>
    <message>
        <source>Program settings</source>
        <translation>Настройки программы</translation>
    </message>
    <message>
        <source>Check for updates</source>
        <translation>Проверить обновления</translation>
    </message>
    <message>
        <source>Check for manager updates</source>
        <translation>Проверить обновления менеджера устройств</translation>
    </message>
    <message>
        <source>Check for firmware updates</source>
        <translation>Проверить обновления прошивки</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>Подключить</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>Отключить</translation>
    </message>
    <message>
        <source>Open stats</source>
        <translation>Открыть статистику</translation>
    </message>
    <message>
        <source>English</source>
        <translation>Английский</translation>
    </message>
    <message>
        <source>Default language is English</source>
        <translation>Язык по умолчанию — английский</translation>
    </message>
    <message>
        <source>Russian</source>
        <translation>Русский</translation>
    </message>
    <message>
        <source>Russian language for user interface</source>
        <translation>Русский язык интерфейса</translation>
    </message>
    <message>
        <source>Device software recovery</source>
        <translation>Восстановление прошивки устройства</translation>
    </message>
    <message>
        <source>Devices</source>
        <translation>Устройства</translation>
    </message>
    <message>
        <source>Services</source>
        <translation>Сервисы</translation>
    </message>
    <message>
        <source>Device connected</source>
        <translation>Устройство подключено</translation>
    </message>
    <message>
        <source>Device was removed</source>
        <translation>Устройство отключено</translation>
    </message>
    <message>
        <source>Language change</source>
        <translation>Смена языка</translation>
    </message>
    <message>
        <source>Selected language will be applied after program restart.</source>
        <translation>Выбранный язык будет применён после перезапуска программы.</translation>
    </message>
</context>
<context>
    <name>MeasurementsWidget</name>
    <message>
        <source>Radiation alert levels settings.</source>
        <translation>Настройка порогов радиационной тревоги.</translation>
    </message>
    <message>
        <source>Chart Settings</source>
        <translation>Настройки графика</translation>
    </message>
    <message>
        <source>Average</source>
        <translation>Среднее</translation>
    </message>
    <message>
        <source>Left sensor</source>
        <translation>Левый датчик</translation>
    </message>
    <message>
        <source>Right sensor</source>
        <translation>Правый датчик</translation>
    </message>
    <message>
        <source>Aggregate</source>
        <translation>Накопленная доза</translation>
    </message>
    <message>
        <source>Left Sensor Value</source>
        <translation>Показание левого датчика</translation>
    </message>
    <message>
        <source>Right Sensor Value</source>
        <translation>Показание правого датчика</translation>
    </message>
    <message>
        <source>Average Value</source>
        <translation>Среднее значение</translation>
    </message>
    <message>
        <source>Aggregated Dose</source>
        <translation>Накопленная доза</translation>
    </message>
    <message>
        <source>Set user aggregate dose</source>
        <translation>Задать накопленную дозу</translation>
    </message>
    <message>
        <source>Reset aggregate dose</source>
        <translation>Сбросить накопленную дозу</translation>
    </message>
    <message>
        <source>Reset password</source>
        <translation>Пароль сброса</translation>
    </message>
    <message>
        <source>Please enter the reset password.</source>
        <translation>Введите пароль сброса.</translation>
    </message>
    <message>
        <source>Aggregate dose was reset successfully.</source>
        <translation>Накопленная доза успешно сброшена.</translation>
    </message>
    <message>
        <source>Aggregate dose wasn&apos;t reset because the password was wrong.</source>
        <translation>Накопленная доза не сброшена: неверный пароль.</translation>
    </message>
    <message>
        <source>Dose set password</source>
        <translation>Пароль установки дозы</translation>
    </message>
    <message>
        <source>Please enter the dose set password.</source>
        <translation>Введите пароль установки дозы.</translation>
    </message>
    <message>
        <source>Set aggregate dose</source>
        <translation>Задать накопленную дозу</translation>
    </message>
    <message>
        <source>Aggregate dose was set successfully.</source>
        <translation>Накопленная доза успешно задана.</translation>
    </message>
    <message>
        <source>Aggregate dose wasn&apos;t set because the password was wrong.</source>
        <translation>Накопленная доза не задана: неверный пароль.</translation>
    </message>
    <message>
        <source>The two sensors have disagreed for five minutes: one of them may be covered or faulty.</source>
        <translation>Показания двух датчиков расходятся уже пять минут: один из них, возможно, закрыт или неисправен.</translation>
    </message>
    <message>
        <source>Last reading: %1</source>
        <translation>Последнее показание: %1</translation>
    </message>
    <message>
        <source>No reading yet</source>
        <translation>Показаний пока нет</translation>
    </message>
</context>
<context>
    <name>NormalDeviceFrame</name>
    <message>
        <source>General device information</source>
        <translation>Общие сведения об устройстве</translation>
    </message>
    <message>
        <source>General</source>
        <translation>Общие</translation>
    </message>
    <message>
        <source>Measures presentation page</source>
        <translation>Страница измерений</translation>
    </message>
    <message>
        <source>Measures</source>
        <translation>Измерения</translation>
    </message>
    <message>
        <source>Statistics collected by the device over a long time</source>
        <translation>Статистика, накопленная устройством за длительное время</translation>
    </message>
    <message>
        <source>History</source>
        <translation>История</translation>
    </message>
</context>
<context>
    <name>PasswordChangeDialog</name>
    <message>
        <source>Change password</source>
        <translation>Смена пароля</translation>
    </message>
    <message>
        <source>Old password</source>
        <translation>Старый пароль</translation>
    </message>
    <message>
        <source>New password</source>
        <translation>Новый пароль</translation>
    </message>
    <message>
        <source>Retype new password</source>
        <translation>Повторите новый пароль</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>ОК</translation>
    </message>
    <message>
        <source>Return</source>
        <translation>Return</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Esc</source>
        <translation>Esc</translation>
    </message>
    <message>
        <source>Input error</source>
        <translation>Ошибка ввода</translation>
    </message>
    <message>
        <source>Passwords aren&apos;t the same</source>
        <translation>Пароли не совпадают</translation>
    </message>
</context>
<context>
    <name>ProgressDialog</name>
    <message>
        <source>Please wait</source>
        <translation>Подождите</translation>
    </message>
</context>
<context>
    <name>ProxySettingsDialog</name>
    <message>
        <source>Network settings</source>
        <translation>Настройки сети</translation>
    </message>
    <message>
        <source>Proxy</source>
        <translation>Прокси-сервер</translation>
    </message>
    <message>
        <source>No Proxy</source>
        <translation>Без прокси-сервера</translation>
    </message>
    <message>
        <source>System proxy</source>
        <translation>Системный прокси-сервер</translation>
    </message>
    <message>
        <source>Manual proxy</source>
        <translation>Ручная настройка прокси-сервера</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>Адрес</translation>
    </message>
    <message>
        <source>proxy.example.com</source>
        <translation>proxy.example.com</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Порт</translation>
    </message>
</context>
<context>
    <name>ReadCalibrationTask</name>
    <message>
        <source>Reading calibration coefficient</source>
        <translation>Чтение калибровочного коэффициента</translation>
    </message>
</context>
<context>
    <name>ResetAggregateDoseTask</name>
    <message>
        <source>Reset aggregate dose</source>
        <translation>Сброс накопленной дозы</translation>
    </message>
</context>
<context>
    <name>SQLReader</name>
    <message>
        <source>Loading</source>
        <translation>Загрузка</translation>
    </message>
</context>
<context>
    <name>SearchWidget</name>
    <message>
        <source>Initial time</source>
        <translation>Начальное время</translation>
    </message>
    <message>
        <source>End time</source>
        <translation>Конечное время</translation>
    </message>
    <message>
        <source>Advanced search</source>
        <translation>Расширенный поиск</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>Значение</translation>
    </message>
    <message>
        <source>Condition</source>
        <translation>Условие</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Найти</translation>
    </message>
    <message>
        <source>Return</source>
        <translation>Return</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Esc</source>
        <translation>Esc</translation>
    </message>
</context>
<context>
    <name>SetAggregateDoseTask</name>
    <message>
        <source>Setting aggregate dose</source>
        <translation>Установка накопленной дозы</translation>
    </message>
    <message>
        <source>the dose %1 is out of range; the device takes %2 to %3</source>
        <translation>доза %1 вне допустимого диапазона; устройство принимает значения от %2 до %3</translation>
    </message>
</context>
<context>
    <name>SoftwareUpdateDialog</name>
    <message>
        <source>Software update</source>
        <translation>Обновление программы</translation>
    </message>
    <message>
        <source>Another update request is still running.</source>
        <translation>Предыдущий запрос обновления ещё выполняется.</translation>
    </message>
    <message>
        <source>You have the latest version (%1). No update is needed.</source>
        <translation>У вас последняя версия (%1). Обновление не требуется.</translation>
    </message>
    <message>
        <source>Version %1 was downloaded to %2.</source>
        <translation>Версия %1 загружена в %2.</translation>
    </message>
    <message>
        <source>The update server cannot be reached. Check the network connection and the proxy settings, then try again.

%1</source>
        <translation>Сервер обновлений недоступен. Проверьте подключение к сети и настройки прокси-сервера, затем повторите попытку.

%1</translation>
    </message>
    <message>
        <source>The search for updates failed.

%1</source>
        <translation>Не удалось выполнить поиск обновлений.

%1</translation>
    </message>
    <message>
        <source>The download failed; nothing was installed.

%1</source>
        <translation>Загрузка не удалась; ничего не установлено.

%1</translation>
    </message>
    <message>
        <source>The download could not be started.</source>
        <translation>Не удалось начать загрузку.</translation>
    </message>
    <message>
        <source>Up to date</source>
        <translation>Обновлений нет</translation>
    </message>
    <message>
        <source>Success</source>
        <translation>Готово</translation>
    </message>
    <message>
        <source>Server unreachable</source>
        <translation>Сервер недоступен</translation>
    </message>
    <message>
        <source>Failure</source>
        <translation>Ошибка</translation>
    </message>
</context>
<context>
    <name>UnifiedFrame</name>
    <message>
        <source>Close</source>
        <translation>Закрыть</translation>
    </message>
</context>
<context>
    <name>UpdateConfirmationFrame</name>
    <message>
        <source>A new version is available</source>
        <translation>Доступна новая версия</translation>
    </message>
    <message>
        <source>Current version:</source>
        <translation>Текущая версия:</translation>
    </message>
    <message>
        <source>0.0</source>
        <translation>0.0</translation>
    </message>
    <message>
        <source>Latest version:</source>
        <translation>Последняя версия:</translation>
    </message>
    <message>
        <source>Do you want to download it now?</source>
        <translation>Загрузить её сейчас?</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Загрузить</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
</context>
<context>
    <name>UpdateManager</name>
    <message>
        <source>&quot;%1&quot; is not a usable file name.</source>
        <translation>«%1» не годится в качестве имени файла.</translation>
    </message>
    <message>
        <source>The downloaded file &quot;%1&quot; cannot be read.</source>
        <translation>Не удаётся прочитать загруженный файл «%1».</translation>
    </message>
    <message>
        <source>The downloaded file &quot;%1&quot; has changed since the download.</source>
        <translation>Загруженный файл «%1» изменился после загрузки.</translation>
    </message>
    <message>
        <source>The checksum of &quot;%1&quot; does not match.</source>
        <translation>Контрольная сумма файла «%1» не совпадает.</translation>
    </message>
    <message>
        <source>The update was canceled.</source>
        <translation>Обновление отменено.</translation>
    </message>
    <message>
        <source>The update server&apos;s reply is too large.</source>
        <translation>Ответ сервера обновлений слишком велик.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is larger than the update server announced.</source>
        <translation>Файл «%1» больше, чем указал сервер обновлений.</translation>
    </message>
    <message>
        <source>Cannot write &quot;%1&quot;: %2</source>
        <translation>Не удаётся записать «%1»: %2</translation>
    </message>
    <message>
        <source>%1: no answer within %2 seconds.</source>
        <translation>%1: нет ответа в течение %2 с.</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>%1: the server answered with status %2.</source>
        <translation>%1: сервер вернул код состояния %2.</translation>
    </message>
    <message>
        <source>Cannot create the folder &quot;%1&quot;.</source>
        <translation>Не удаётся создать папку «%1».</translation>
    </message>
    <message>
        <source>The update server sent an unsafe file name: &quot;%1&quot;.</source>
        <translation>Сервер обновлений передал небезопасное имя файла: «%1».</translation>
    </message>
    <message>
        <source>The download of &quot;%1&quot; failed: %2</source>
        <translation>Не удалось загрузить «%1»: %2</translation>
    </message>
    <message>
        <source>The download of &quot;%1&quot; is incomplete (%2 of %3 bytes).</source>
        <translation>Файл «%1» загружен не полностью (%2 из %3 байт).</translation>
    </message>
    <message>
        <source>The checksum of &quot;%1&quot; does not match; the file was discarded.</source>
        <translation>Контрольная сумма файла «%1» не совпадает; файл удалён.</translation>
    </message>
    <message>
        <source>Cannot store &quot;%1&quot;: %2</source>
        <translation>Не удаётся сохранить «%1»: %2</translation>
    </message>
</context>
<context>
    <name>UpdateReplyParser</name>
    <message>
        <source>The update server sent a document type declaration.</source>
        <translation>Сервер обновлений передал объявление типа документа (DOCTYPE).</translation>
    </message>
    <message>
        <source>The update server sent &quot;%1&quot; instead of &quot;%2&quot;.</source>
        <translation>Сервер обновлений передал «%1» вместо «%2».</translation>
    </message>
    <message>
        <source>The update server&apos;s reply is not valid XML: %1</source>
        <translation>Ответ сервера обновлений не является корректным XML: %1</translation>
    </message>
    <message>
        <source>The update server sent an empty reply.</source>
        <translation>Сервер обновлений прислал пустой ответ.</translation>
    </message>
    <message>
        <source>The update server listed a release without a usable id or version.</source>
        <translation>Сервер обновлений указал выпуск без корректного идентификатора или версии.</translation>
    </message>
    <message>
        <source>The update server listed too many releases.</source>
        <translation>Сервер обновлений указал слишком много выпусков.</translation>
    </message>
    <message>
        <source>The update server listed a file without a usable id.</source>
        <translation>Сервер обновлений указал файл без корректного идентификатора.</translation>
    </message>
    <message>
        <source>The update server sent an unsafe file name: &quot;%1&quot;.</source>
        <translation>Сервер обновлений передал небезопасное имя файла: «%1».</translation>
    </message>
    <message>
        <source>The update server listed the file &quot;%1&quot; twice.</source>
        <translation>Сервер обновлений указал файл «%1» дважды.</translation>
    </message>
    <message>
        <source>The update server gave an unusable size for &quot;%1&quot;.</source>
        <translation>Сервер обновлений указал некорректный размер файла «%1».</translation>
    </message>
    <message>
        <source>The update server gave an unusable checksum for &quot;%1&quot;.</source>
        <translation>Сервер обновлений указал некорректную контрольную сумму файла «%1».</translation>
    </message>
    <message>
        <source>The update server gave an unusable kind for &quot;%1&quot;.</source>
        <translation>Сервер обновлений указал некорректный тип файла «%1».</translation>
    </message>
    <message>
        <source>The release lists too many files.</source>
        <translation>В выпуске слишком много файлов.</translation>
    </message>
    <message>
        <source>The release is larger than an update can be.</source>
        <translation>Выпуск превышает допустимый размер обновления.</translation>
    </message>
    <message>
        <source>The release has no files to download.</source>
        <translation>В выпуске нет файлов для загрузки.</translation>
    </message>
</context>
<context>
    <name>UserSettingsWindow</name>
    <message>
        <source>Radiation alert levels</source>
        <translation>Пороги радиационной тревоги</translation>
    </message>
    <message>
        <source>Warning Level</source>
        <translation>Порог предупреждения</translation>
    </message>
    <message>
        <source>Critical Level</source>
        <translation>Критический порог</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>ОК</translation>
    </message>
    <message>
        <source>Return</source>
        <translation>Return</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
    <message>
        <source>Esc</source>
        <translation>Esc</translation>
    </message>
</context>
<context>
    <name>VersionSearchFrame</name>
    <message>
        <source>Searching for updates</source>
        <translation>Поиск обновлений</translation>
    </message>
    <message>
        <source>Asking the update server for new versions. Please wait.</source>
        <translation>Запрашиваем новые версии у сервера обновлений. Подождите.</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Отмена</translation>
    </message>
</context>
<context>
    <name>WelcomeForm</name>
    <message>
        <source>Welcome to VARNO Device Manager</source>
        <translation>Добро пожаловать в менеджер устройств VARNO</translation>
    </message>
    <message>
        <source>History mode</source>
        <translation>Режим истории</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;To start working with your VARNO Ormelin device, please connect it to a USB port of your PC or Mac.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Чтобы начать работу с прибором VARNO Ormelin, подключите его к USB-порту компьютера.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;To view collected data without a device, please go to &amp;quot;History mode&amp;quot;.&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p&gt;Чтобы просмотреть собранные данные без прибора, перейдите в «Режим истории».&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
</context>
<context>
    <name>WriteCalibrationTask</name>
    <message>
        <source>Writing new calibration</source>
        <translation>Запись нового калибровочного коэффициента</translation>
    </message>
    <message>
        <source>the coefficient %1 is out of range; the device takes %2 to %3</source>
        <translation>коэффициент %1 вне допустимого диапазона; устройство принимает значения от %2 до %3</translation>
    </message>
</context>
</TS>

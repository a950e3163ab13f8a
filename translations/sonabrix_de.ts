<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>AnalyzingStageView</name>
    <message>
        <source>Analyzing recording…</source>
        <translation>Aufnahme wird analysiert …</translation>
    </message>
</context>
<context>
    <name>Appcast</name>
    <message>
        <source>The update feed isn&apos;t valid XML: %1.</source>
        <translation>Der Update-Feed ist kein gültiges XML: %1.</translation>
    </message>
    <message>
        <source>The update feed isn&apos;t an RSS feed.</source>
        <translation>Der Update-Feed ist kein RSS-Feed.</translation>
    </message>
</context>
<context>
    <name>AudioExporter</name>
    <message>
        <source>Couldn&apos;t set up the export.</source>
        <translation>Der Export konnte nicht vorbereitet werden.</translation>
    </message>
    <message>
        <source>The recording&apos;s format isn&apos;t usable.</source>
        <translation>Das Format der Aufnahme ist nicht verwendbar.</translation>
    </message>
    <message>
        <source>The selection holds no audio.</source>
        <translation>Die Auswahl enthält keinen Ton.</translation>
    </message>
</context>
<context>
    <name>AudioFilePlayer</name>
    <message>
        <source>The sound server can&apos;t play this file&apos;s format.</source>
        <translation>Der Soundserver kann das Format dieser Datei nicht abspielen.</translation>
    </message>
    <message>
        <source>Selection playback</source>
        <translation>Wiedergabe der Auswahl</translation>
    </message>
    <message>
        <source>The sound server didn&apos;t answer.</source>
        <translation>Der Soundserver hat nicht geantwortet.</translation>
    </message>
</context>
<context>
    <name>ContentView</name>
    <message>
        <source>Recording %1</source>
        <translation>Aufnahme %1</translation>
    </message>
    <message>
        <source>Couldn&apos;t read the recording back from %1.</source>
        <translation>Die Aufnahme konnte nicht aus %1 gelesen werden.</translation>
    </message>
    <message>
        <source>The audio couldn&apos;t be saved.</source>
        <translation>Der Ton konnte nicht gespeichert werden.</translation>
    </message>
    <message>
        <source>Couldn&apos;t record</source>
        <translation>Aufnahme nicht möglich</translation>
    </message>
    <message>
        <source>Couldn&apos;t save</source>
        <translation>Speichern nicht möglich</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>IdleStageView</name>
    <message>
        <source>Record system audio</source>
        <translation>Systemton aufnehmen</translation>
    </message>
    <message>
        <source>Captures whatever&apos;s playing on your computer.</source>
        <translation>Nimmt auf, was auf Ihrem Computer gerade spielt.</translation>
    </message>
    <message>
        <source>Record System Audio</source>
        <translation>Systemton aufnehmen</translation>
    </message>
    <message>
        <source>Record whatever your computer plays (%1)</source>
        <translation>Aufnehmen, was Ihr Computer abspielt (%1)</translation>
    </message>
</context>
<context>
    <name>LaunchOptions</name>
    <message>
        <source>Records whatever your computer is playing, trims it and saves it as an M4A file. A second launch hands its options to the window already open.</source>
        <translation>Nimmt auf, was Ihr Computer abspielt, schneidet es zu und speichert es als M4A-Datei. Ein zweiter Start übergibt seine Optionen an das bereits offene Fenster.</translation>
    </message>
    <message>
        <source>Shows this help and exits.</source>
        <translation>Zeigt diese Hilfe und beendet sich.</translation>
    </message>
    <message>
        <source>Shows the version and exits.</source>
        <translation>Zeigt die Version und beendet sich.</translation>
    </message>
    <message>
        <source>Logs what the app does, for support questions.</source>
        <translation>Protokolliert, was die App tut, für Support-Anfragen.</translation>
    </message>
    <message>
        <source>Starts recording from the start screen, or stops the running recording.</source>
        <translation>Startet die Aufnahme vom Startbildschirm aus oder stoppt die laufende Aufnahme.</translation>
    </message>
    <message>
        <source>Unexpected argument: %1</source>
        <translation>Unerwartetes Argument: %1</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Sonabrix</source>
        <translation>Sonabrix</translation>
    </message>
    <message>
        <source>About Sonabrix</source>
        <translation>Über Sonabrix</translation>
    </message>
    <message>
        <source>Check for Updates…</source>
        <translation>Nach Updates suchen …</translation>
    </message>
    <message>
        <source>Quit Sonabrix</source>
        <translation>Sonabrix beenden</translation>
    </message>
    <message>
        <source>&lt;h3&gt;Sonabrix %1&lt;/h3&gt;&lt;p&gt;Record whatever your computer is playing, trim it, and save it as an M4A file.&lt;/p&gt;</source>
        <translation>&lt;h3&gt;Sonabrix %1&lt;/h3&gt;&lt;p&gt;Nehmen Sie auf, was Ihr Computer abspielt, schneiden Sie es zu und speichern Sie es als M4A-Datei.&lt;/p&gt;</translation>
    </message>
    <message>
        <source>A recording is running</source>
        <translation>Eine Aufnahme läuft</translation>
    </message>
    <message>
        <source>If you quit now, the recording ends and can&apos;t be trimmed or saved.</source>
        <translation>Wenn Sie jetzt beenden, endet die Aufnahme und kann weder zugeschnitten noch gespeichert werden.</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Keep Recording</source>
        <translation>Weiter aufnehmen</translation>
    </message>
</context>
<context>
    <name>PulseCaptureService</name>
    <message>
        <source>The sound server didn&apos;t answer.</source>
        <translation>Der Soundserver hat nicht geantwortet.</translation>
    </message>
</context>
<context>
    <name>PulseConnection</name>
    <message>
        <source>Couldn&apos;t create the sound-server event loop.</source>
        <translation>Die Ereignisschleife für den Soundserver konnte nicht erstellt werden.</translation>
    </message>
    <message>
        <source>Couldn&apos;t create a sound-server context.</source>
        <translation>Es konnte kein Soundserver-Kontext erstellt werden.</translation>
    </message>
    <message>
        <source>Couldn&apos;t start the sound-server event loop.</source>
        <translation>Die Ereignisschleife für den Soundserver konnte nicht gestartet werden.</translation>
    </message>
    <message>
        <source>The sound server didn&apos;t answer.</source>
        <translation>Der Soundserver hat nicht geantwortet.</translation>
    </message>
    <message>
        <source>The sound server has no default output.</source>
        <translation>Der Soundserver hat keine Standardausgabe.</translation>
    </message>
</context>
<context>
    <name>RecordedStageView</name>
    <message>
        <source>New Recording</source>
        <translation>Neue Aufnahme</translation>
    </message>
    <message>
        <source>Trim your recording</source>
        <translation>Aufnahme zuschneiden</translation>
    </message>
    <message>
        <source>Drag the handles, or auto-trim silence from the start and end.</source>
        <translation>Ziehen Sie die Griffe oder schneiden Sie die Stille am Anfang und Ende automatisch ab.</translation>
    </message>
    <message>
        <source>Back to the start (%1)</source>
        <translation>Zurück zum Start (%1)</translation>
    </message>
    <message>
        <source>Save the selection as an M4A file (%1)</source>
        <translation>Die Auswahl als M4A-Datei speichern (%1)</translation>
    </message>
    <message>
        <source>Saving…</source>
        <translation>Wird gespeichert …</translation>
    </message>
    <message>
        <source>Save Trimmed Audio…</source>
        <translation>Zugeschnittenen Ton speichern …</translation>
    </message>
</context>
<context>
    <name>RecordingFile</name>
    <message>
        <source>The captured audio has no usable format.</source>
        <translation>Der aufgenommene Ton hat kein verwendbares Format.</translation>
    </message>
    <message>
        <source>Only %1 of %2 frames could be written.</source>
        <translation>Nur %1 von %2 Frames konnten geschrieben werden.</translation>
    </message>
</context>
<context>
    <name>RecordingStageView</name>
    <message>
        <source>Elapsed time</source>
        <translation>Verstrichene Zeit</translation>
    </message>
    <message>
        <source>Stop Recording</source>
        <translation>Aufnahme stoppen</translation>
    </message>
    <message>
        <source>Stop and open the recording (%1)</source>
        <translation>Stoppen und die Aufnahme öffnen (%1)</translation>
    </message>
</context>
<context>
    <name>RecordingWriter</name>
    <message>
        <source>The audio format changed during the recording.</source>
        <translation>Das Tonformat hat sich während der Aufnahme geändert.</translation>
    </message>
</context>
<context>
    <name>SaveDestinationDialog</name>
    <message>
        <source>Save Trimmed Audio</source>
        <translation>Zugeschnittenen Ton speichern</translation>
    </message>
    <message>
        <source>MPEG-4 audio (*.m4a)</source>
        <translation>MPEG-4-Audio (*.m4a)</translation>
    </message>
    <message>
        <source>Replace file?</source>
        <translation>Datei ersetzen?</translation>
    </message>
    <message>
        <source>“%1” already exists. Do you want to replace it?</source>
        <translation>„%1“ ist bereits vorhanden. Möchten Sie die Datei ersetzen?</translation>
    </message>
</context>
<context>
    <name>SonabrixApp</name>
    <message>
        <source>Sonabrix is already running but doesn&apos;t answer. Close it, or end its process, and try again.</source>
        <translation>Sonabrix läuft bereits, antwortet aber nicht. Schließen Sie es oder beenden Sie seinen Prozess und versuchen Sie es erneut.</translation>
    </message>
</context>
<context>
    <name>SystemAudioRecorder</name>
    <message>
        <source>Sonabrix couldn&apos;t connect to the sound server to capture system audio. Make sure PulseAudio or PipeWire is running and that Sonabrix may use it, then try again.</source>
        <translation>Sonabrix konnte sich nicht mit dem Soundserver verbinden, um den Systemton aufzunehmen. Stellen Sie sicher, dass PulseAudio oder PipeWire läuft und Sonabrix ihn verwenden darf, und versuchen Sie es dann erneut.</translation>
    </message>
    <message>
        <source>No audio output found to capture audio from.</source>
        <translation>Keine Audioausgabe gefunden, von der aufgenommen werden kann.</translation>
    </message>
    <message>
        <source>Couldn&apos;t start capture: %1</source>
        <translation>Die Aufnahme konnte nicht gestartet werden: %1</translation>
    </message>
    <message>
        <source>Capture stopped unexpectedly: %1</source>
        <translation>Die Aufnahme wurde unerwartet beendet: %1</translation>
    </message>
    <message>
        <source>Couldn&apos;t stop capture cleanly: %1</source>
        <translation>Die Aufnahme konnte nicht sauber gestoppt werden: %1</translation>
    </message>
    <message>
        <source>Couldn&apos;t create the recording file: %1</source>
        <translation>Die Aufnahmedatei konnte nicht erstellt werden: %1</translation>
    </message>
    <message>
        <source>Part of the recording couldn&apos;t be saved: %1</source>
        <translation>Ein Teil der Aufnahme konnte nicht gespeichert werden: %1</translation>
    </message>
    <message>
        <source>No audio was captured — is anything actually playing sound?</source>
        <translation>Es wurde kein Ton aufgenommen – wird überhaupt etwas abgespielt?</translation>
    </message>
</context>
<context>
    <name>TrimCard</name>
    <message>
        <source>Trim start</source>
        <translation>Anfang zuschneiden</translation>
    </message>
    <message>
        <source>Trim end</source>
        <translation>Ende zuschneiden</translation>
    </message>
</context>
<context>
    <name>TrimHandle</name>
    <message>
        <source>Left and Right move it by a tenth of a second, with Shift by a second</source>
        <translation>Links und Rechts verschieben ihn um eine Zehntelsekunde, mit Umschalt um eine Sekunde</translation>
    </message>
</context>
<context>
    <name>TrimView</name>
    <message>
        <source>selected</source>
        <translation>ausgewählt</translation>
    </message>
    <message>
        <source>Auto-Trim Silence</source>
        <translation>Stille automatisch entfernen</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>Play Selection</source>
        <translation>Auswahl abspielen</translation>
    </message>
</context>
<context>
    <name>Updater</name>
    <message>
        <source>The update feed lists no versions.</source>
        <translation>Der Update-Feed nennt keine Versionen.</translation>
    </message>
    <message>
        <source>The update server answered with error %1.</source>
        <translation>Der Update-Server antwortete mit Fehler %1.</translation>
    </message>
    <message>
        <source>The update server answered with error %1 (%2).</source>
        <translation>Der Update-Server antwortete mit Fehler %1 (%2).</translation>
    </message>
    <message>
        <source>The update server didn&apos;t answer in time.</source>
        <translation>Der Update-Server hat nicht rechtzeitig geantwortet.</translation>
    </message>
    <message>
        <source>Check for Updates</source>
        <translation>Nach Updates suchen</translation>
    </message>
    <message>
        <source>You&apos;re up to date</source>
        <translation>Sonabrix ist auf dem neuesten Stand</translation>
    </message>
    <message>
        <source>Sonabrix %1 is the newest version available.</source>
        <translation>Sonabrix %1 ist die neueste verfügbare Version.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Sonabrix %1 is available</source>
        <translation>Sonabrix %1 ist verfügbar</translation>
    </message>
    <message>
        <source>You have version %1. Download the new version to update.</source>
        <translation>Sie haben Version %1. Laden Sie die neue Version herunter, um zu aktualisieren.</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Herunterladen</translation>
    </message>
    <message>
        <source>Release Notes</source>
        <translation>Versionshinweise</translation>
    </message>
    <message>
        <source>Not Now</source>
        <translation>Nicht jetzt</translation>
    </message>
    <message>
        <source>Couldn&apos;t check for updates</source>
        <translation>Suche nach Updates nicht möglich</translation>
    </message>
</context>
</TS>

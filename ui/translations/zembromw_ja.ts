<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP" sourcelanguage="ja_JP">
<context>
    <name>ErrorHandler</name>
    <message>
        <source>&apos;%1&apos; は整数ではありません</source>
        <translation>&apos;%1&apos; は整数ではありません</translation>
    </message>
    <message>
        <source>ファイル %1 は開けません</source>
        <translation>ファイル %1 は開けません</translation>
    </message>
    <message>
        <source>ファイル %1 を作成できません</source>
        <translation>ファイル %1 を作成できません</translation>
    </message>
    <message>
        <source>ストリームへの書き込みエラー</source>
        <translation>ストリームへの書き込みエラー</translation>
    </message>
</context>
<context>
    <name>PortDiagnosis</name>
    <message>
        <source>、</source>
        <comment>between the processes that hold a port</comment>
        <translation>、</translation>
    </message>
    <message>
        <source>PID %1</source>
        <translation>PID %1</translation>
    </message>
    <message>
        <source>PID %1（%2）</source>
        <translation>PID %1（%2）</translation>
    </message>
    <message>
        <source>PID %1（ユーザー %2）</source>
        <translation>PID %1（ユーザー %2）</translation>
    </message>
    <message>
        <source>PID %1（%2、ユーザー %3）</source>
        <translation>PID %1（%2、ユーザー %3）</translation>
    </message>
    <message>
        <source>このマシンにはシリアルポートが見つかりません。</source>
        <translation>このマシンにはシリアルポートが見つかりません。</translation>
    </message>
    <message>
        <source>現在あるシリアルポート:</source>
        <translation>現在あるシリアルポート:</translation>
    </message>
    <message>
        <source>%1 の所有者は %2、グループは %3、モードは %4 です。</source>
        <translation>%1 の所有者は %2、グループは %3、モードは %4 です。</translation>
    </message>
    <message>
        <source>グループにも読み書きの権限がなく、開けるのは所有者だけです。</source>
        <translation>グループにも読み書きの権限がなく、開けるのは所有者だけです。</translation>
    </message>
    <message>
        <source>このプログラムはすでにグループ %1 で動いていますが、開くことを拒否されました。アクセス制御リストかセキュリティモジュールが妨げているのかもしれません。</source>
        <translation>このプログラムはすでにグループ %1 で動いていますが、開くことを拒否されました。アクセス制御リストかセキュリティモジュールが妨げているのかもしれません。</translation>
    </message>
    <message>
        <source>%1 は %3 でグループ %2 に入っていますが、このセッションはそれより前に始まりました。ログアウトしてログインし直してください。</source>
        <translation>%1 は %3 でグループ %2 に入っていますが、このセッションはそれより前に始まりました。ログアウトしてログインし直してください。</translation>
    </message>
    <message>
        <source>一度だけ自分をグループ %1 に加え、ログアウトしてログインし直してください:</source>
        <translation>一度だけ自分をグループ %1 に加え、ログアウトしてログインし直してください:</translation>
    </message>
    <message>
        <source>プロセスを調べられない（%1 を読めない）ため、使用中のプログラムはわかりません。</source>
        <translation>プロセスを調べられない（%1 を読めない）ため、使用中のプログラムはわかりません。</translation>
    </message>
    <message>
        <source>%1 が使用中です。</source>
        <translation>%1 が使用中です。</translation>
    </message>
    <message>
        <source>次のプロセスが使用中です: %1。</source>
        <translation>次のプロセスが使用中です: %1。</translation>
    </message>
    <message>
        <source>そのプログラムを閉じるか、終了させてください:</source>
        <translation>そのプログラムを閉じるか、終了させてください:</translation>
    </message>
    <message>
        <source>それらのプログラムを閉じるか、終了させてください:</source>
        <translation>それらのプログラムを閉じるか、終了させてください:</translation>
    </message>
    <message>
        <source>ModemManager は新しいシリアルポートをどれも調べ、数秒後に手放します。ずっと近づけないようにするには: sudo systemctl stop ModemManager</source>
        <translation>ModemManager は新しいシリアルポートをどれも調べ、数秒後に手放します。ずっと近づけないようにするには: sudo systemctl stop ModemManager</translation>
    </message>
    <message>
        <source>このユーザーのプロセスは使用していません。</source>
        <translation>このユーザーのプロセスは使用していません。</translation>
    </message>
    <message>
        <source>このユーザーのプロセスは使用していません。他のユーザーのプロセス %1 個は調べられませんでした（root なら調べられます）。</source>
        <translation>このユーザーのプロセスは使用していません。他のユーザーのプロセス %1 個は調べられませんでした（root なら調べられます）。</translation>
    </message>
    <message>
        <source>USB アダプター %1 はつながっていますが、シリアルポートがありません。点字ディスプレイのサービス brltty がその USB ID を扱うと定めていて（%2、%3 行目）、アダプターが現れるとすぐに取ってしまいます。</source>
        <translation>USB アダプター %1 はつながっていますが、シリアルポートがありません。点字ディスプレイのサービス brltty がその USB ID を扱うと定めていて（%2、%3 行目）、アダプターが現れるとすぐに取ってしまいます。</translation>
    </message>
    <message>
        <source>USB アダプター %1（%2）はつながっていますが、シリアルポートがありません。点字ディスプレイのサービス brltty がその USB ID を扱うと定めていて（%3、%4 行目）、アダプターが現れるとすぐに取ってしまいます。</source>
        <translation>USB アダプター %1（%2）はつながっていますが、シリアルポートがありません。点字ディスプレイのサービス brltty がその USB ID を扱うと定めていて（%3、%4 行目）、アダプターが現れるとすぐに取ってしまいます。</translation>
    </message>
    <message>
        <source>点字ディスプレイを使わないなら brltty を削除し、アダプターを抜いて差し直してください:</source>
        <translation>点字ディスプレイを使わないなら brltty を削除し、アダプターを抜いて差し直してください:</translation>
    </message>
    <message>
        <source>%1 が指すデバイスはもうありません（抜かれましたか?）。</source>
        <translation>%1 が指すデバイスはもうありません（抜かれましたか?）。</translation>
    </message>
    <message>
        <source>%1 はありますが、その先で応答するハードウェアがありません。</source>
        <translation>%1 はありますが、その先で応答するハードウェアがありません。</translation>
    </message>
    <message>
        <source>%1 はありません。</source>
        <translation>%1 はありません。</translation>
    </message>
    <message>
        <source>Windows は他のプログラムが開いているポートを拒みます。%1 を開いているターミナル、シリアルモニターなどのツールを閉じて、やり直してください。</source>
        <translation>Windows は他のプログラムが開いているポートを拒みます。%1 を開いているターミナル、シリアルモニターなどのツールを閉じて、やり直してください。</translation>
    </message>
</context>
<context>
    <name>PortGroupMenu</name>
    <message>
        <source>環境変数 %1</source>
        <translation>環境変数 %1</translation>
    </message>
    <message>
        <source>割り当て済み</source>
        <translation>割り当て済み</translation>
    </message>
    <message>
        <source>既定</source>
        <translation>既定</translation>
    </message>
    <message>
        <source>名前のまま</source>
        <translation>名前のまま</translation>
    </message>
    <message>
        <source>%1 → %2（%3）</source>
        <translation>%1 → %2（%3）</translation>
    </message>
    <message>
        <source>このデバイスはありません</source>
        <translation>このデバイスはありません</translation>
    </message>
    <message>
        <source>%1 の接続先</source>
        <translation>%1 の接続先</translation>
    </message>
    <message>
        <source>シリアルポートが見つかりません</source>
        <translation>シリアルポートが見つかりません</translation>
    </message>
    <message>
        <source>既定に戻す（%1）</source>
        <translation>既定に戻す（%1）</translation>
    </message>
    <message>
        <source>%1 が設定されているため、そちらが優先されます</source>
        <translation>%1 が設定されているため、そちらが優先されます</translation>
    </message>
</context>
<context>
    <name>TForm1</name>
    <message>
        <source>ブランクCHK</source>
        <translation>ブランクCHK</translation>
    </message>
    <message>
        <source>ポート</source>
        <translation>ポート</translation>
    </message>
    <message>
        <source>ファイルとの</source>
        <translation>ファイルとの</translation>
    </message>
    <message>
        <source>ROM読</source>
        <translation>ROM読</translation>
    </message>
    <message>
        <source>PROGRAM</source>
        <translation>PROGRAM</translation>
    </message>
    <message>
        <source>比較</source>
        <translation>比較</translation>
    </message>
    <message>
        <source>WRITE</source>
        <translation>WRITE</translation>
    </message>
    <message>
        <source>File</source>
        <translation>File</translation>
    </message>
    <message>
        <source>通信ログ</source>
        <translation>通信ログ</translation>
    </message>
    <message>
        <source>次回の起動から切り替わります</source>
        <translation>次回の起動から切り替わります</translation>
    </message>
    <message>
        <source>%1 が設定されているため、そちらが優先されます</source>
        <translation>%1 が設定されているため、そちらが優先されます</translation>
    </message>
    <message>
        <source>チェック中</source>
        <translation>チェック中</translation>
    </message>
    <message>
        <source>チェックOK</source>
        <translation>チェックOK</translation>
    </message>
    <message>
        <source>チェックNG</source>
        <translation>チェックNG</translation>
    </message>
    <message>
        <source>...</source>
        <translation>...</translation>
    </message>
    <message>
        <source>LOAD</source>
        <translation>LOAD</translation>
    </message>
    <message>
        <source>ProgramOK</source>
        <translation>ProgramOK</translation>
    </message>
    <message>
        <source>ProgramNG</source>
        <translation>ProgramNG</translation>
    </message>
    <message>
        <source>CompOK</source>
        <translation>CompOK</translation>
    </message>
    <message>
        <source>CompNG</source>
        <translation>CompNG</translation>
    </message>
    <message>
        <source> 書込中 ...</source>
        <translation> 書込中 ...</translation>
    </message>
    <message>
        <source>WriteOK</source>
        <translation>WriteOK</translation>
    </message>
    <message>
        <source>WriteNG</source>
        <translation>WriteNG</translation>
    </message>
    <message>
        <source> 比較中 ...</source>
        <translation> 比較中 ...</translation>
    </message>
    <message>
        <source>ファイル %1 を作成できません（%2）</source>
        <translation>ファイル %1 を作成できません（%2）</translation>
    </message>
    <message>
        <source>HEX表示</source>
        <translation>HEX表示</translation>
    </message>
    <message>
        <source>差分を表示</source>
        <translation>差分を表示</translation>
    </message>
    <message>
        <source>メモの内容を読めません: %1</source>
        <translation>メモの内容を読めません: %1</translation>
    </message>
    <message>
        <source>開始アドレスが終了アドレスより大きい</source>
        <translation>開始アドレスが終了アドレスより大きい</translation>
    </message>
    <message>
        <source>デバイスがありません</source>
        <translation>デバイスがありません</translation>
    </message>
    <message>
        <source>他のプログラムが使用中です</source>
        <translation>他のプログラムが使用中です</translation>
    </message>
    <message>
        <source>アクセスが拒否されました</source>
        <translation>アクセスが拒否されました</translation>
    </message>
    <message>
        <source>回線が切れました</source>
        <translation>回線が切れました</translation>
    </message>
    <message>
        <source>シリアルデバイスではありません</source>
        <translation>シリアルデバイスではありません</translation>
    </message>
    <message>
        <source>書き込めません</source>
        <translation>書き込めません</translation>
    </message>
    <message>
        <source>開けません</source>
        <translation>開けません</translation>
    </message>
</context>
<context>
    <name>TranscriptWindow</name>
    <message>
        <source>送</source>
        <translation>送</translation>
    </message>
    <message>
        <source>受</source>
        <translation>受</translation>
    </message>
    <message>
        <source>通信ログ</source>
        <translation>通信ログ</translation>
    </message>
    <message>
        <source>コピー</source>
        <translation>コピー</translation>
    </message>
</context>
<context>
    <name>WindowImages</name>
    <message>
        <source>ROMイメージ (*.hex *.s19 *.srec *.mot *.bin)</source>
        <translation>ROMイメージ (*.hex *.s19 *.srec *.mot *.bin)</translation>
    </message>
    <message>
        <source>すべてのファイル (*)</source>
        <translation>すべてのファイル (*)</translation>
    </message>
    <message>
        <source>Intel HEX (*.hex)</source>
        <translation>Intel HEX (*.hex)</translation>
    </message>
    <message>
        <source>Sレコード (*.s19 *.srec *.mot)</source>
        <translation>Sレコード (*.s19 *.srec *.mot)</translation>
    </message>
    <message>
        <source>バイナリ (*.bin)</source>
        <translation>バイナリ (*.bin)</translation>
    </message>
</context>
<context>
    <name>zemb::ui::HexTable</name>
    <message>
        <source>ROM</source>
        <translation>ROM</translation>
    </message>
    <message>
        <source>%1  ファイル %2  ROM %3</source>
        <translation>%1  ファイル %2  ROM %3</translation>
    </message>
</context>
<context>
    <name>zemb::ui::HexView</name>
    <message>
        <source>HEX表示</source>
        <translation>HEX表示</translation>
    </message>
    <message>
        <source>(範囲が広すぎます)</source>
        <translation>(範囲が広すぎます)</translation>
    </message>
    <message>
        <source>範囲 %1-%2  %3 バイト  CRC-32 %4</source>
        <translation>範囲 %1-%2  %3 バイト  CRC-32 %4</translation>
    </message>
    <message>
        <source>メモの内容を読めません: %1</source>
        <translation>メモの内容を読めません: %1</translation>
    </message>
    <message>
        <source>データがありません</source>
        <translation>データがありません</translation>
    </message>
    <message>
        <source>差分</source>
        <translation>差分</translation>
    </message>
    <message>
        <source>ROMの読み出しに失敗しました: %1</source>
        <translation>ROMの読み出しに失敗しました: %1</translation>
    </message>
    <message>
        <source>(応答なし)</source>
        <translation>(応答なし)</translation>
    </message>
    <message>
        <source>%1 ほか %2 か所</source>
        <extracomment>Address runs cut short; %2 is how many more there are.</extracomment>
        <translation>%1 ほか %2 か所</translation>
    </message>
    <message numerus="yes">
        <source>（%n か所: %1）</source>
        <extracomment>Follows the count of differing bytes; %1 lists the runs of consecutive addresses.</extracomment>
        <translation>
            <numerusform>（%n か所: %1）</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>ROMライタの比較は NG でしたが、%1 の読み出しは %n バイトすべてがファイルと一致します: ROMライタの比較と読み出しが食い違っています</source>
        <translation>
            <numerusform>ROMライタの比較は NG でしたが、%1 の読み出しは %n バイトすべてがファイルと一致します: ROMライタの比較と読み出しが食い違っています</numerusform>
        </translation>
    </message>
    <message>
        <source>ファイルのバイトは ROM の読み出しにひとつもありません</source>
        <translation>ファイルのバイトは ROM の読み出しにひとつもありません</translation>
    </message>
    <message numerus="yes">
        <source>%n バイトすべてが一致します</source>
        <translation>
            <numerusform>%n バイトすべてが一致します</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n バイト中 %1 バイトが異なります%2</source>
        <comment>one byte differs</comment>
        <translation>
            <numerusform>%n バイト中 %1 バイトが異なります%2</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n バイト中 %1 バイトが異なります%2</source>
        <comment>several bytes differ</comment>
        <translation>
            <numerusform>%n バイト中 %1 バイトが異なります%2</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>ファイルの %n バイトが ROM の読み出しにありません</source>
        <translation>
            <numerusform>ファイルの %n バイトが ROM の読み出しにありません</numerusform>
        </translation>
    </message>
    <message>
        <source>うち %1 バイトは 0 のビットを 1 に戻す必要があり、消去しないと直せません</source>
        <translation>うち %1 バイトは 0 のビットを 1 に戻す必要があり、消去しないと直せません</translation>
    </message>
    <message>
        <source>どの違いもビットを 0 にするだけなので、消去せずに書き込めば一致させられます</source>
        <translation>どの違いもビットを 0 にするだけなので、消去せずに書き込めば一致させられます</translation>
    </message>
</context>
</TS>

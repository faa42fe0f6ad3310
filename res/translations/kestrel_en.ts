<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>About</name>
    <message>
        <source>关于 Kestrel</source>
        <translation>About Kestrel</translation>
    </message>
    <message>
        <source>内嵌模块v3.0_20040210设置工具</source>
        <translation>Embedded module v3.0_20040210 setting tool</translation>
    </message>
    <message>
        <source>CORVA科技 蓝牙技术研究所</source>
        <translation>CORVA Technology, Bluetooth Technology Institute</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>Cli</name>
    <message>
        <source>是</source>
        <translation>yes</translation>
    </message>
    <message>
        <source>否</source>
        <translation>no</translation>
    </message>
</context>
<context>
    <name>Console</name>
    <message>
        <source>无</source>
        <translation>None</translation>
    </message>
    <message>
        <source>请输入要发送的命令</source>
        <translation>Type a command to send</translation>
    </message>
    <message>
        <source>第 %1 个字符是控制字符（%2），请用转义写出，如 \r、\n 或 \x1B</source>
        <translation>Character %1 is a control character (%2); type it as an escape such as \r, \n or \x1B</translation>
    </message>
    <message>
        <source>第 %1 个字符：命令不能以单个反斜杠结尾，反斜杠本身请写作 \\</source>
        <translation>Character %1: a command cannot end in a lone backslash; type a backslash as \\</translation>
    </message>
    <message>
        <source>第 %1 个字符：%2 后面应是两位十六进制数字，如 \x0D</source>
        <translation>Character %1: %2 must be followed by two hexadecimal digits, such as \x0D</translation>
    </message>
    <message>
        <source>第 %1 个字符：无效的转义 %2，可用 \r、\n、\\ 和 \xNN</source>
        <translation>Character %1: %2 is not an escape; use \r, \n, \\ or \xNN</translation>
    </message>
    <message>
        <source>第 %1 个字符“%2”无法用 GBK 编码，模块收不到它</source>
        <translation>Character %1 (“%2”) has no GBK form, so the module cannot receive it</translation>
    </message>
    <message>
        <source>命令太长：连同行尾最多 %1 字节，从第 %2 个字符起超出</source>
        <translation>Command too long: at most %1 bytes with the line ending; it goes over from character %2</translation>
    </message>
</context>
<context>
    <name>Engine</name>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>未知</source>
        <translation>unknown</translation>
    </message>
    <message>
        <source>请先打开串口</source>
        <translation>Please open the serial port first</translation>
    </message>
    <message>
        <source>正在查询内嵌模块参数...</source>
        <translation>Querying the embedded module&apos;s parameters...</translation>
    </message>
    <message>
        <source>查询完成</source>
        <translation>Query finished</translation>
    </message>
    <message>
        <source>设置完成</source>
        <translation>Setting finished</translation>
    </message>
    <message>
        <source>没有改变参数，不需要设置</source>
        <translation>No parameter changed, nothing to set</translation>
    </message>
    <message>
        <source>成功清除邦定的蓝牙地址</source>
        <translation>The bound Bluetooth address was cleared</translation>
    </message>
    <message>
        <source>清除蓝牙地址失败</source>
        <translation>Clearing the Bluetooth address failed</translation>
    </message>
    <message>
        <source>清除蓝牙地址超时</source>
        <translation>Clearing the Bluetooth address timed out</translation>
    </message>
    <message>
        <source>成功恢复默认参数</source>
        <translation>Default parameters restored</translation>
    </message>
    <message>
        <source>恢复默认参数失败，请手动点击“设置”按钮</source>
        <translation>Restoring the defaults failed; please press &quot;Set&quot; yourself</translation>
    </message>
    <message>
        <source>恢复默认参数超时，请手动点击“设置”按钮</source>
        <translation>Restoring the defaults timed out; please press &quot;Set&quot; yourself</translation>
    </message>
    <message>
        <source>串口已断开，请检查连接</source>
        <translation>The serial port was disconnected; please check the connection</translation>
    </message>
    <message>
        <source>查询 [%s] 时失败，是否继续？</source>
        <translation>Querying [%s] failed. Go on?</translation>
    </message>
    <message>
        <source>查询[%s]时失败</source>
        <translation>Querying [%s] failed</translation>
    </message>
    <message>
        <source>查询 [%s] 时超时，是否继续？</source>
        <translation>Querying [%s] timed out. Go on?</translation>
    </message>
    <message>
        <source>查询 [%s] 时超时</source>
        <translation>Querying [%s] timed out</translation>
    </message>
    <message>
        <source>设置 [%s] 时超时，是否继续？</source>
        <translation>Setting [%s] timed out. Go on?</translation>
    </message>
    <message>
        <source>设置 [%s] 时超时</source>
        <translation>Setting [%s] timed out</translation>
    </message>
    <message>
        <source>设备名称</source>
        <translation>device name</translation>
    </message>
    <message>
        <source>软件版本</source>
        <translation>firmware version</translation>
    </message>
    <message>
        <source>设备类别码</source>
        <translation>class code</translation>
    </message>
    <message>
        <source>波特率</source>
        <translation>baud rate</translation>
    </message>
    <message>
        <source>串口参数</source>
        <translation>serial parameters</translation>
    </message>
    <message>
        <source>主从角色</source>
        <translation>master/slave role</translation>
    </message>
    <message>
        <source>绑定状态</source>
        <translation>binding</translation>
    </message>
    <message>
        <source>是否鉴权/加密</source>
        <translation>authentication/encryption</translation>
    </message>
    <message>
        <source>节能参数</source>
        <translation>power saving parameters</translation>
    </message>
    <message>
        <source>Sniff节能参数</source>
        <translation>Sniff power saving parameters</translation>
    </message>
    <message>
        <source>本地蓝牙地址</source>
        <translation>local Bluetooth address</translation>
    </message>
    <message>
        <source>当前绑定的蓝牙地址</source>
        <translation>bound Bluetooth address</translation>
    </message>
    <message>
        <source>密码</source>
        <translation>password</translation>
    </message>
    <message>
        <source>清除地址命令</source>
        <translation>clear address command</translation>
    </message>
    <message>
        <source>测试命令</source>
        <translation>test command</translation>
    </message>
    <message>
        <source>正在恢复默认参数...</source>
        <translation>Restoring default parameters...</translation>
    </message>
    <message>
        <source>正在清除邦定的蓝牙地址...</source>
        <translation>Clearing the bound Bluetooth address...</translation>
    </message>
    <message>
        <source>正在查询设备......</source>
        <translation>Searching for devices......</translation>
    </message>
    <message>
        <source>查询到设备 </source>
        <translation>Found device </translation>
    </message>
    <message>
        <source>请输入一个整数。</source>
        <translation>Please enter a whole number.</translation>
    </message>
    <message>
        <source>输入的内容不能超过 %s 个字节。</source>
        <translation>The entry must not exceed %s bytes.</translation>
    </message>
    <message>
        <source>无校验</source>
        <translation>None</translation>
    </message>
    <message>
        <source>奇校验</source>
        <translation>Odd</translation>
    </message>
    <message>
        <source>偶校验</source>
        <translation>Even</translation>
    </message>
    <message>
        <source>请选择合适的波特率</source>
        <translation>Please choose a suitable baud rate</translation>
    </message>
    <message>
        <source>请选择合适的校验位</source>
        <translation>Please choose a suitable parity</translation>
    </message>
    <message>
        <source>请选择合适的停止位</source>
        <translation>Please choose a suitable stop bit</translation>
    </message>
    <message>
        <source>名称不能为空</source>
        <translation>The name must not be empty</translation>
    </message>
    <message>
        <source>名称不能包含控制字符</source>
        <translation>The name must not contain control characters</translation>
    </message>
    <message>
        <source>名称长度不能超过20</source>
        <translation>The name must not be longer than 20</translation>
    </message>
    <message>
        <source>类别码不能为空</source>
        <translation>The class code must not be empty</translation>
    </message>
    <message>
        <source>类别码不能包含控制字符</source>
        <translation>The class code must not contain control characters</translation>
    </message>
    <message>
        <source>类别码长度必须为6</source>
        <translation>The class code must be 6 long</translation>
    </message>
    <message>
        <source>密码不能包含控制字符</source>
        <translation>The password must not contain control characters</translation>
    </message>
    <message>
        <source>密码长度不能超过16</source>
        <translation>The password must not be longer than 16</translation>
    </message>
    <message>
        <source>绑定的蓝牙地址格式不正确</source>
        <translation>The bound Bluetooth address has a wrong format</translation>
    </message>
    <message>
        <source>绑定的蓝牙地址不能包含控制字符</source>
        <translation>The bound Bluetooth address must not contain control characters</translation>
    </message>
    <message>
        <source>连接持续时间不能大于连接间隔时间</source>
        <translation>The connection duration must not be longer than the connection interval</translation>
    </message>
    <message>
        <source>查询持续时间不能大于查询间隔时间</source>
        <translation>The inquiry duration must not be longer than the inquiry interval</translation>
    </message>
    <message>
        <source>Sniff最小值不能大于最大值</source>
        <translation>The Sniff minimum must not be greater than the maximum</translation>
    </message>
    <message>
        <source>正在设置参数...</source>
        <translation>Setting the parameters...</translation>
    </message>
    <message>
        <source>正在检测串口波特率...</source>
        <translation>Detecting the line rate...</translation>
    </message>
    <message>
        <source>检测到串口波特率：%s</source>
        <translation>Line rate found: %s</translation>
    </message>
    <message>
        <source>没有检测到模块应答的串口波特率</source>
        <translation>No line rate got an answer from the module</translation>
    </message>
    <message>
        <source>请输入一个介于 0 和 %s 之间的整数。</source>
        <translation>Please enter a whole number between 0 and %s.</translation>
    </message>
    <message>
        <source>在所有波特率下模块都没有应答“AT”，请检查：
1. 模块处于命令模式（按模块说明设置其按键引脚）；
2. 模块的 TX 与 RX 和串口交叉连接；
3. 双方使用相同的电平（3.3 V 或 5 V）；
4. 没有其他程序占用串口；
5. 模块没有连接手机或其他设备。
</source>
        <translation>The module answered &quot;AT&quot; at no line rate. Please check:
1. The module is in command mode (set its key pin as its documentation says);
2. The module&apos;s TX and RX are crossed with the serial port&apos;s;
3. Both sides use the same logic level (3.3 V or 5 V);
4. No other program is using the serial port;
5. No phone or other device is connected to the module.
</translation>
    </message>
    <message>
        <source>检查后请点击“查询”重试。</source>
        <translation>Then click &quot;Query&quot; to try again.</translation>
    </message>
    <message>
        <source>命令已完成</source>
        <translation>Command done</translation>
    </message>
    <message>
        <source>模块拒绝了命令</source>
        <translation>The module refused the command</translation>
    </message>
    <message>
        <source>命令在等待时间内没有应答</source>
        <translation>No reply to the command within the wait</translation>
    </message>
    <message>
        <source>；模块的参数可能已改变，窗口所示可能与模块不符，请点击“查询”重新读取</source>
        <translation>; the module&apos;s parameters may have changed and the form may no longer match them: click &quot;Query&quot; to read them again</translation>
    </message>
    <message>
        <source>正在发送命令...</source>
        <translation>Sending the command...</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>没有找到设备 %1：请确认串口适配器已经插好。</source>
        <translation>cannot open %1: no such device (is the adapter plugged in?)</translation>
    </message>
    <message>
        <source>设备 %1 正被其他程序占用：请先关闭那个程序。</source>
        <translation>cannot open %1: the port is busy (another program is using it)</translation>
    </message>
    <message>
        <source>没有打开 %1 的权限：请把用户加入 dialout 组（sudo usermod -aG dialout $USER），然后重新登录。</source>
        <translation>cannot open %1: permission denied (join the dialout group: sudo usermod -aG dialout $USER, then log in again)</translation>
    </message>
    <message>
        <source>无法打开 %1：%2</source>
        <translation>cannot open %1: %2</translation>
    </message>
    <message>
        <source>内嵌模块参数设置工具</source>
        <translation>Embedded module parameter setting tool</translation>
    </message>
    <message>
        <source>关于 Kestrel(&amp;A)...</source>
        <translation>&amp;About Kestrel...</translation>
    </message>
    <message>
        <source>准备就绪</source>
        <translation>Ready</translation>
    </message>
    <message>
        <source>内嵌模块参数设置工具 V4.25.20051116</source>
        <translation>Embedded module parameter setting tool V4.25.20051116</translation>
    </message>
    <message>
        <source>打开串口失败，请确认是否有其他程序在使用！</source>
        <translation>Opening the serial port failed. Check whether another program is using it!</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>串口已重新连接</source>
        <translation>Serial port reconnected</translation>
    </message>
    <message>
        <source>是(&amp;Y)</source>
        <translation>&amp;Yes</translation>
    </message>
    <message>
        <source>否(&amp;N)</source>
        <translation>&amp;No</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>正在与模块通信，请在本次操作结束后再保存配置。</source>
        <translation>Talking to the module; save the configuration once this action has ended.</translation>
    </message>
    <message>
        <source>正在与模块通信，请在本次操作结束后再载入配置。</source>
        <translation>Talking to the module; load the configuration once this action has ended.</translation>
    </message>
    <message>
        <source>配置文件 (*.json);;所有文件 (*)</source>
        <translation>Configuration files (*.json);;All files (*)</translation>
    </message>
    <message>
        <source>保存配置...</source>
        <translation>Save configuration...</translation>
    </message>
    <message>
        <source>载入配置...</source>
        <translation>Load configuration...</translation>
    </message>
    <message>
        <source>通信记录</source>
        <translation>Traffic</translation>
    </message>
    <message>
        <source>无法保存配置文件 %1：%2</source>
        <translation>Cannot save the configuration file %1: %2</translation>
    </message>
    <message>
        <source>无法载入配置文件 %1：%2</source>
        <translation>Cannot load the configuration file %1: %2</translation>
    </message>
    <message>
        <source>保存配置</source>
        <translation>Save configuration</translation>
    </message>
    <message>
        <source>载入配置</source>
        <translation>Load configuration</translation>
    </message>
    <message>
        <source>节能参数（待机状态）</source>
        <translation>Power saving (standby)</translation>
    </message>
    <message>
        <source>Sniff节能参数（连接参数）</source>
        <translation>Sniff power saving (connected)</translation>
    </message>
    <message>
        <source>基本设置</source>
        <translation>Basic settings</translation>
    </message>
    <message>
        <source>串口参数</source>
        <translation>Serial parameters</translation>
    </message>
    <message>
        <source>设备名称：</source>
        <translation>Name:</translation>
    </message>
    <message>
        <source>类别码：</source>
        <translation>Class:</translation>
    </message>
    <message>
        <source>固件版本号：</source>
        <translation>Firmware:</translation>
    </message>
    <message>
        <source>主设备</source>
        <translation>Master</translation>
    </message>
    <message>
        <source>绑定地址</source>
        <translation>Bind</translation>
    </message>
    <message>
        <source>是否加密</source>
        <translation>Encrypt</translation>
    </message>
    <message>
        <source>密码：</source>
        <translation>PIN:</translation>
    </message>
    <message>
        <source>波特率：</source>
        <translation>Baud rate:</translation>
    </message>
    <message>
        <source>校验位：</source>
        <translation>Parity:</translation>
    </message>
    <message>
        <source>停止位：</source>
        <translation>Stop bits:</translation>
    </message>
    <message>
        <source>连接间隔：</source>
        <translation>Conn. interval:</translation>
    </message>
    <message>
        <source>连接持续：</source>
        <translation>Conn. duration:</translation>
    </message>
    <message>
        <source>查询间隔：</source>
        <translation>Inq. interval:</translation>
    </message>
    <message>
        <source>查询持续：</source>
        <translation>Inq. duration:</translation>
    </message>
    <message>
        <source>最大：</source>
        <translation>Max:</translation>
    </message>
    <message>
        <source>最小：</source>
        <translation>Min:</translation>
    </message>
    <message>
        <source>尝试：</source>
        <translation>Try:</translation>
    </message>
    <message>
        <source>超时：</source>
        <translation>Tmo:</translation>
    </message>
    <message>
        <source>绑定的蓝牙地址</source>
        <translation>Bound address</translation>
    </message>
    <message>
        <source>搜索设备</source>
        <translation>Search</translation>
    </message>
    <message>
        <source>查询(&amp;I)</source>
        <translation>&amp;Query</translation>
    </message>
    <message>
        <source>设置(&amp;S)</source>
        <translation>&amp;Set</translation>
    </message>
    <message>
        <source>默认</source>
        <translation>Defaults</translation>
    </message>
    <message>
        <source>清除地址</source>
        <translation>Clear addr.</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>本地蓝牙地址</source>
        <translation>Local address</translation>
    </message>
    <message>
        <source>《关</source>
        <translation>«Off</translation>
    </message>
    <message>
        <source>开》</source>
        <translation>On»</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>设备 %1 正被 %2 占用：请先关闭那个程序。</source>
        <translation>cannot open %1: the port is busy, held by %2</translation>
    </message>
    <message>
        <source>ModemManager 会探测新接入的串口：可停止它（sudo systemctl stop ModemManager），或用 udev 属性 ID_MM_DEVICE_IGNORE=1 让它忽略该设备。</source>
        <translation> (ModemManager probes new ports: stop it with sudo systemctl stop ModemManager, or mark the device ignored with the udev property ID_MM_DEVICE_IGNORE=1)</translation>
    </message>
    <message>
        <source>没有打开 %1 的权限：用户已在 %2 组中，但本次登录尚未生效，请注销后重新登录。</source>
        <translation>cannot open %1: permission denied (you are in the %2 group, but not yet in this login: log out and in again)</translation>
    </message>
    <message>
        <source>串口不接受所设的参数</source>
        <translation>the port refused its settings</translation>
    </message>
</context>
<context>
    <name>PortDialog</name>
    <message>
        <source>模拟模块</source>
        <translation>simulated</translation>
    </message>
    <message>
        <source>连接串口</source>
        <translation>Connect serial port</translation>
    </message>
    <message>
        <source>串口参数</source>
        <translation>Serial parameters</translation>
    </message>
    <message>
        <source>通讯口</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>数据流控制</source>
        <translation>Flow control</translation>
    </message>
    <message>
        <source>确定(&amp;O)</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>取消(&amp;C)</source>
        <translation>&amp;Cancel</translation>
    </message>
    <message>
        <source>无</source>
        <translation>None</translation>
    </message>
    <message>
        <source>硬件</source>
        <translation>Hardware</translation>
    </message>
    <message>
        <source>波特率</source>
        <translation>Line rate</translation>
    </message>
    <message>
        <source>自动检测</source>
        <translation>Auto-detect</translation>
    </message>
</context>
<context>
    <name>Traffic</name>
    <message>
        <source>通信记录</source>
        <translation>Traffic</translation>
    </message>
    <message>
        <source>复制</source>
        <translation>Copy</translation>
    </message>
    <message>
        <source>保存...</source>
        <translation>Save...</translation>
    </message>
    <message>
        <source>清除</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>保存通信记录</source>
        <translation>Save traffic</translation>
    </message>
    <message>
        <source>文本文件 (*.txt);;所有文件 (*)</source>
        <translation>Text files (*.txt);;All files (*)</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>无法保存通信记录：%1
%2</source>
        <translation>Cannot save the traffic: %1
%2</translation>
    </message>
    <message>
        <source>发送</source>
        <translation>Send</translation>
    </message>
</context>
</TS>

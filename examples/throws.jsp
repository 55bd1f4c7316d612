<html>
<body>
<p>Before the failure</p>
<%
    int count = 0;
    if (count == 0) throw new IllegalStateException("The basket is empty");
%>
<p>Never written</p>
</body>
</html>

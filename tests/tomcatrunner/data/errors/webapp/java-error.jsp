<html>
<body>
<%
    String name = "world";
    int count = 3;
    int wrong = "text";
%>
<p>Hello <%= name %></p>
</body>
</html>

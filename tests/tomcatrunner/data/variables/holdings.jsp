<%@ page contentType="text/html; charset=UTF-8" %>
<%! private int visits = 0;
    private static final String GREETING = "Hello"; %>
<%
    visits++;
    String longText = "x".repeat(3000);
    java.util.Map<String, Integer> counts = new java.util.LinkedHashMap<>();
    counts.put("apple", 3);
    counts.put("pear", 5);
    int[] numbers = {1, 2, 3};
    java.math.BigDecimal price = new java.math.BigDecimal("12.50");
    double ratio = 1.5;
    char grade = 'A';
    request.setAttribute("colour", "red");
    pageContext.setAttribute("shape", "round");
    application.setAttribute("hits", Integer.valueOf(7));
%>
<p><%= GREETING %>, visit <%= visits %>: <%= counts %> <%= numbers.length %> <%= price %></p>
<p><%= longText.length() %> <%= ratio %> <%= grade %></p>
<p>The end</p>
